#include "ui/web/browser.h"

#include <QLabel>
#include <QVBoxLayout>

RecordingBrowser::RecordingBrowser(QWidget* parent) : Browser(parent), label_(new QLabel(this))
{
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    lay->addWidget(label_);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void RecordingBrowser::navigate(const QString& address)
{
    record(address);
    label_->setText(address);
}

namespace {
BrowserFactory& factory()
{
    static BrowserFactory f;
    return f;
}
}  // namespace

void setBrowserFactory(BrowserFactory f) { factory() = std::move(f); }

Browser* createBrowser(QWidget* parent)
{
    if (factory())
        return factory()(parent);
    return new RecordingBrowser(parent);
}
