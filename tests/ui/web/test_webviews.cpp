// The real web views: made only once the window has been drawn, one after
// another, each loading the address its browser was sent to last; a call
// that comes before they exist still gets its searches.  Nothing leaves the
// computer: every request from the network is noted and refused.

#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QWindow>
#include <QtTest>

#include "testdb.h"
#include "testutil.h"
#include "ui/web/browser.h"
#include "ui/web/websearch.h"

namespace {

class Requests : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            QMutexLocker lock(&mutex_);
            seen_.insert(url.toString());
            info.block(true);
        }
    }
    bool seen(const QString& url) const
    {
        QMutexLocker lock(&mutex_);
        return seen_.contains(QUrl(url).toString());
    }

private:
    mutable QMutex mutex_;
    QSet<QString> seen_;
};

QWebEngineView* viewOf(const QWidget* browser) { return browser->findChild<QWebEngineView*>(); }

// Notes whether the window had been drawn when a web view first came.
class DrawnFirst : public QObject {
public:
    explicit DrawnFirst(QWidget* top) : top_(top) { qApp->installEventFilter(this); }
    bool drawn = false, viewBeforeDrawing = false;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        if (e->type() == QEvent::Paint && o == top_)
            drawn = true;
        if (e->type() == QEvent::ChildAdded && qobject_cast<QWebEngineView*>(static_cast<QChildEvent*>(e)->child()) &&
            !drawn)
            viewBeforeDrawing = true;
        return false;
    }

private:
    QWidget* top_;
};

}  // namespace

class TestWebViews : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        useWebEngineBrowsers();
        QWebEngineProfile::defaultProfile()->setUrlRequestInterceptor(&requests_);
    }
    void cleanupTestCase() { setBrowserFactory({}); }

    void viewsComeOnceTheWindowIsDrawn()
    {
        QWidget top;
        auto* column = new QVBoxLayout(&top);
        column->addWidget(new QLabel(QStringLiteral("客户列表"), &top));
        Browser* shown = createBrowser(&top);
        column->addWidget(shown);
        Browser* hidden = createBrowser(&top);
        column->addWidget(hidden);
        hidden->hide();
        top.resize(400, 300);
        const QString first = QStringLiteral("data:text/html,<p>1</p>");
        const QString last = QStringLiteral("data:text/html,<p>2</p>");
        shown->navigate(first);
        hidden->navigate(first);
        DrawnFirst order(&top);
        top.show();
        // show() makes no view: that would hold the window before it is drawn.
        QVERIFY(!viewOf(shown));
        shown->navigate(last);  // sent on before its view exists
        QTRY_VERIFY_WITH_TIMEOUT(viewOf(shown), 20000);
        QVERIFY(order.drawn);
        QVERIFY(!order.viewBeforeDrawing);
        // The view loads the address sent last, not the first.
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(shown)->url(), QUrl(last), 20000);
        // A browser nobody has seen costs no view, until it is shown.
        QVERIFY(!viewOf(hidden));
        hidden->show();
        QTRY_VERIFY_WITH_TIMEOUT(viewOf(hidden), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(viewOf(hidden)->url(), QUrl(first), 20000);
    }

    void aCallRightAfterTheStartGetsItsSearches()
    {
        const QString folder = testutil::makeProgramFolder();
        QVERIFY(!folder.isEmpty());
        testutil::MainFixture m;
        m->show();
        // The call comes before the window has been drawn: no view exists.
        const QString number = QStringLiteral("13912345678");
        m->searchWeb(number);
        m->webTabs()->finishSearch();
        auto* google = testutil::named<Browser>(m.w.get(), QStringLiteral("googleBrowser"));
        auto* yahoo = testutil::named<Browser>(m.w.get(), QStringLiteral("yahooBrowser"));
        QVERIFY(!viewOf(google));
        QCOMPARE(google->address(), websearch::googleAddress(number));
        // Once made, the front tab's view asks for the search, not the
        // product page it was sent to first.
        QTRY_VERIFY_WITH_TIMEOUT(viewOf(google), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(requests_.seen(websearch::googleAddress(number)), 20000);
        QCOMPARE(testutil::named<QTabWidget>(m.w.get(), QStringLiteral("tabs"))->tabText(0), websearch::googleCaption);
        // The tab behind it gets its view, with the search, when shown.
        QCOMPARE(yahoo->address(), websearch::yahooAddress(number));
        QVERIFY(!viewOf(yahoo));
        testutil::named<QTabWidget>(m.w.get(), QStringLiteral("tabs"))->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(requests_.seen(websearch::yahooAddress(number)), 20000);
    }

private:
    Requests requests_;
};

int main(int argc, char** argv)
{
    // As the program starts: shared contexts before the application, the
    // pages drawn without OpenGL.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    drawWithoutOpenGL();
    QApplication app(argc, argv);
    TestWebViews t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_webviews.moc"
