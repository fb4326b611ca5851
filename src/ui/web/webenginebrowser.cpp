#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWindow>

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
        timer_->setObjectName(QStringLiteral("webLoadQueue"));  // named in the benches' lists of slow events
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

// A browser that really loads its pages.  Its web view is made once the
// browser has been shown (see ViewQueue): a tab nobody has looked at costs
// no renderer.  The address it was sent to last (its start page, or the
// latest search) loads then.
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
    bool hasView() const { return view_ != nullptr; }
    void makeView();

protected:
    void showEvent(QShowEvent* e) override;

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

// Making a web view holds the window thread: the first one starts the
// engine itself, each further one takes tens of milliseconds.  The views of
// the browsers shown are made once their window has been drawn for the
// first time, one per turn of the event loop: the window shows at once,
// with its lists and the record position, and answers between the views.
class ViewQueue : public QObject {
public:
    static ViewQueue& instance()
    {
        // Lives as long as the application.
        static ViewQueue* queue = new ViewQueue;
        return *queue;
    }

    void add(WebEngineBrowser* browser)
    {
        for (const auto& b : waiting_)
            if (b == browser)
                return;
        waiting_.emplace_back(browser);
        QWindow* window = browser->window()->windowHandle();
        if (!window || window->isExposed()) {
            timer_->start();
        } else if (!watched_.contains(window)) {
            // Its first drawing comes with its first exposure: the views
            // follow in the turns after it.
            watched_.insert(window);
            window->installEventFilter(this);
            connect(window, &QObject::destroyed, this, [this, window] { watched_.remove(window); });
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() == QEvent::Expose) {
            watched->removeEventFilter(this);
            watched_.remove(static_cast<QWindow*>(watched));
            timer_->start();
        }
        return false;
    }

private:
    ViewQueue() : QObject(QCoreApplication::instance()), timer_(new QTimer(this))
    {
        timer_->setObjectName(QStringLiteral("webViewQueue"));
        timer_->setInterval(0);
        connect(timer_, &QTimer::timeout, this, [this] { next(); });
    }

    void next()
    {
        while (!waiting_.empty()) {
            QPointer<WebEngineBrowser> b = waiting_.front();
            waiting_.pop_front();
            // One hidden again meanwhile asks anew when it is shown.
            if (b && b->isVisible() && !b->hasView()) {
                b->makeView();
                break;
            }
        }
        if (waiting_.empty())
            timer_->stop();
    }

    std::deque<QPointer<WebEngineBrowser>> waiting_;
    QSet<QWindow*> watched_;
    QTimer* timer_;
};

void WebEngineBrowser::showEvent(QShowEvent* e)
{
    Browser::showEvent(e);
    if (!view_)
        ViewQueue::instance().add(this);
}

void WebEngineBrowser::makeView()
{
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
    // The engine starts now, before any window shows: its start holds the
    // thread for hundreds of milliseconds, most of it waiting for its helper
    // process to come up, and would otherwise freeze the window just shown.
    QWebEngineProfile::defaultProfile();
}
