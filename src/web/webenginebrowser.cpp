#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include "web/browser.h"

namespace {

// A browser that really loads its pages.
class WebEngineBrowser : public Browser {
public:
    explicit WebEngineBrowser(QWidget* parent) : Browser(parent), view_(new QWebEngineView(this))
    {
        auto* lay = new QVBoxLayout(this);
        lay->setContentsMargins(0, 0, 0, 0);
        lay->addWidget(view_);
    }
    void navigate(const QString& address) override
    {
        record(address);
        QUrl url(address);
        if (url.scheme().isEmpty())
            url = QUrl::fromUserInput(address);
        view_->setUrl(url);
    }

private:
    QWebEngineView* view_;
};

}  // namespace

void useWebEngineBrowsers()
{
    setBrowserFactory([](QWidget* parent) -> Browser* { return new WebEngineBrowser(parent); });
}
