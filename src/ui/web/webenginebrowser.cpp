#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "ui/web/browser.h"

namespace {

// Shown in place of a page that could not be loaded (no network, say).
QString unreachablePage(const QString& address)
{
    QString shown = address.toHtmlEscaped();
    return QStringLiteral(
               "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
               "body{font-family:'WenQuanYi Micro Hei','宋体',sans-serif;color:#555;margin:24px;}"
               "h3{color:#8e0000;font-size:16px;}p{font-size:13px;word-break:break-all;}"
               "</style></head><body><h3>网页暂时无法打开</h3>"
               "<p>请检查网络连接。</p><p>%1</p></body></html>")
        .arg(shown);
}

// Starting a load costs a web view tens of milliseconds (the first one far
// more).  Loads asked for together (the start pages, a call's searches) are
// started one per turn of the event loop, so the window keeps answering in
// between; a later address for the same view replaces one still waiting.
class LoadQueue {
public:
    static void start(QWebEngineView* view, const QUrl& url)
    {
        // Lives as long as the application (its timer belongs to it).
        static LoadQueue* queue = new LoadQueue;
        queue->add(view, url);
    }

private:
    LoadQueue() : timer_(new QTimer(QCoreApplication::instance()))
    {
        timer_->setInterval(0);
        QObject::connect(timer_, &QTimer::timeout, [this] { next(); });
    }
    void add(QWebEngineView* view, const QUrl& url)
    {
        for (auto& w : waiting_)
            if (w.first == view) {
                w.second = url;
                return;
            }
        waiting_.emplace_back(view, url);
        timer_->start();
    }
    void next()
    {
        while (!waiting_.empty()) {
            auto [view, url] = waiting_.front();
            waiting_.pop_front();
            if (view) {
                view->setUrl(url);
                break;
            }
        }
        if (waiting_.empty())
            timer_->stop();
    }

    std::deque<std::pair<QPointer<QWebEngineView>, QUrl>> waiting_;
    QTimer* timer_;
};

// A browser that really loads its pages.  Its web view is made when the
// browser is first shown: a tab nobody has looked at costs no renderer.  The
// address it was sent to last (its start page, or the latest search) loads
// then.
class WebEngineBrowser : public Browser {
public:
    explicit WebEngineBrowser(QWidget* parent) : Browser(parent), layout_(new QVBoxLayout(this))
    {
        layout_->setContentsMargins(0, 0, 0, 0);
    }
    void navigate(const QString& address) override
    {
        record(address);
        showingNotice_ = false;
        if (view_)
            LoadQueue::start(view_, urlOf(address));
    }

protected:
    void showEvent(QShowEvent* e) override
    {
        Browser::showEvent(e);
        if (view_)
            return;
        view_ = new QWebEngineView(this);
        layout_->addWidget(view_);
        QObject::connect(view_, &QWebEngineView::loadFinished, view_, [this](bool ok) {
            if (!ok && !showingNotice_) {
                showingNotice_ = true;
                view_->setHtml(unreachablePage(address()));
            }
        });
        // The renderer is shared: when it ends abnormally, every view loads
        // its page again in a new one.
        QObject::connect(view_->page(), &QWebEnginePage::renderProcessTerminated, view_,
                         [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                             if (status != QWebEnginePage::NormalTerminationStatus && !address().isEmpty())
                                 QTimer::singleShot(1000, view_, [this] { LoadQueue::start(view_, urlOf(address())); });
                         });
        if (!address().isEmpty())
            LoadQueue::start(view_, urlOf(address()));
    }

private:
    static QUrl urlOf(const QString& address)
    {
        QUrl url(address);
        if (url.scheme().isEmpty())
            url = QUrl::fromUserInput(address);
        return url;
    }

    QVBoxLayout* layout_;
    QWebEngineView* view_ = nullptr;
    bool showingNotice_ = false;
};

}  // namespace

void drawWithoutOpenGL()
{
    if (!qEnvironmentVariableIsSet("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("-gpu")) {
        flags += flags.isEmpty() ? "--disable-gpu" : " --disable-gpu";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
}

void useWebEngineBrowsers()
{
    // Every web view of the window shares one renderer process: the pages
    // are mostly idle, and each renderer of its own would cost tens of
    // megabytes.  Set before the first view starts the engine; flags given
    // from outside are kept (and a limit of their own wins).
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--renderer-process-limit")) {
        flags += flags.isEmpty() ? "--renderer-process-limit=1" : " --renderer-process-limit=1";
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
    }
    setBrowserFactory([](QWidget* parent) -> Browser* { return new WebEngineBrowser(parent); });
}
