// The pieces around the main window: the application's last-resort error
// report, the status bar widget and the about box.

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

#include "ui/shell/aboutwindow.h"
#include "ui/shell/application.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/statusbar.h"
#include "ui/kit/questionwindow.h"

namespace {

// Throws from its event handler for every user event.
class Thrower : public QObject {
public:
    int handled = 0;
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            ++handled;
            throw AppError(QStringLiteral("数据库文件不存在"));
        }
        if (e->type() == QEvent::Type(QEvent::User + 1)) {
            ++handled;
            throw AbortOperation();
        }
        return QObject::event(e);
    }
};

}  // namespace

class TestFrame : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void escapedErrorIsReportedAndLoopGoesOn();
    void abortEscapesSilently();

    void panelsAndTexts();
    void panelGeometry();

    void aboutBox();

private:
    QStringList reports_;
};

void TestFrame::init()
{
    reports_.clear();
    errorreport::setSink([this](const QString& t) { reports_ << t; });
}

void TestFrame::cleanup() { errorreport::setSink({}); }

void TestFrame::escapedErrorIsReportedAndLoopGoesOn()
{
    QVERIFY(qobject_cast<Application*>(QCoreApplication::instance()));
    Thrower t;
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(t.handled, 2);
    QCOMPARE(reports_, QStringList(2, QStringLiteral("数据库文件不存在")));

    // A direct send goes through the same report and counts as unhandled.
    QEvent e(QEvent::User);
    QVERIFY(!QCoreApplication::sendEvent(&t, &e));
    QCOMPARE(reports_.size(), 3);
}

void TestFrame::abortEscapesSilently()
{
    Thrower t;
    QCoreApplication::postEvent(&t, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::processEvents();
    QCOMPARE(t.handled, 1);
    QVERIFY(reports_.isEmpty());
}

void TestFrame::panelsAndTexts()
{
    StatusBar bar;
    QCOMPARE(bar.addPanel(QStringLiteral("提示"), 32), 0);
    QCOMPARE(bar.addPanel(QString(), 80, Qt::AlignHCenter), 1);
    bar.setPanelText(1, QStringLiteral("1/3"));
    QCOMPARE(bar.panelText(1), QStringLiteral("1/3"));
    // Indices outside the panels are ignored rather than trusted.
    bar.setPanelText(5, QStringLiteral("x"));
    bar.setPanelWidth(-1, 5);
    QCOMPARE(bar.panelText(5), QString());
    QVERIFY(bar.panelRect(3).isNull());
    // Painting with a zero-width panel must not trip.
    bar.setPanelWidth(0, 0);
    bar.resize(300, StatusBar::kHeight);
    QVERIFY(!bar.grab().isNull());
}

void TestFrame::panelGeometry()
{
    StatusBar bar;
    bar.addPanel(QString(), 32);
    bar.addPanel(QString(), 650);
    bar.addPanel(QString(), 100);
    bar.resize(1000, StatusBar::kHeight);
    const QRect r0 = bar.panelRect(0), r1 = bar.panelRect(1), r2 = bar.panelRect(2);
    QCOMPARE(r0.left(), 0);
    QCOMPARE(r0.width(), 32);
    QVERIFY(r1.left() > r0.right());
    QCOMPARE(r1.width(), 650);
    QVERIFY(r2.left() > r1.right());
    // The last panel reaches the right edge when there is room...
    QCOMPARE(r2.right(), bar.width() - 1);
    // ...and keeps its own width when there is not.
    bar.resize(500, StatusBar::kHeight);
    QCOMPARE(bar.panelRect(2).width(), 100);
    // Widening a panel pushes the ones after it.
    bar.setPanelWidth(1, 700);
    QCOMPARE(bar.panelRect(2).left(), r2.left() + 50);
}

void TestFrame::aboutBox()
{
    AboutWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("关于软件"));
    QCOMPARE(w.size(), QSize(455, 279));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("titleLabel"))->text(), QStringLiteral("Tavrin来电显示自动查询软件 1.1"));
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("buildLabel"))->text(), QStringLiteral("(build 2009/04/27)"));
    const QSize screen = w.screen()->geometry().size();
    QCOMPARE(w.pos(), QPoint(centredCoordinate(screen.width(), w.frameGeometry().width()),
                             centredCoordinate(screen.height(), w.frameGeometry().height())));

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.findChild<QPushButton*>(QStringLiteral("okButton"))->click();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.result(), int(QDialog::Accepted));
}

int main(int argc, char** argv)
{
    Application app(argc, argv);
    TestFrame test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_frame.moc"
