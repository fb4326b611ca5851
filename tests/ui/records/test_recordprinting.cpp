// Printing the card and the list as shown, to a PDF file.

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

#include <QTabWidget>

#include "data/module/datamodule.h"
#include "ui/kit/dbgrid.h"
#include "testutil.h"
#include "ui/kit/message.h"
#include "ui/kit/workwindow.h"
#include "ui/records/recordprinting.h"

namespace {

std::shared_ptr<QPrinter> pdfPrinter(const QString& file)
{
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    return printer;
}

// The pages of a PDF file as Qt writes them.
int pagesOf(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(f.readAll().count(QByteArray("/Type /Page\n")));
}

}  // namespace

class TestRecordPrinting : public QObject {
    Q_OBJECT
private slots:
    void theCardAndTheListGoToPdf()
    {
        const QString folder = testutil::makeProgramFolder();
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 30);
        DataModule dm;
        dm.customerTable.setQuery(Query::ordered(QStringLiteral("客户数据"), QStringLiteral("ID"), true));
        dm.customerTable.open();

        // The list as the grid shows it: its columns, its order, cut at the limit.
        const PrintedList list = listToPrint(QStringLiteral("客户列表"), dm.customerTable,
                                             {QStringLiteral("联系人"), QStringLiteral("手机"), QStringLiteral("没有")}, 25);
        QCOMPARE(list.totalRows, 30);
        QCOMPARE(list.rows.size(), 25);
        QCOMPARE(list.rows[0].size(), 3);
        QCOMPARE(list.rows[0][0], QStringLiteral("客户30"));  // newest first, as shown
        QCOMPARE(list.rows[0][2], QString());

        const QString pdf = folder + QStringLiteral("客户资料.pdf");
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printRecords(printer, QStringLiteral("客户资料"),
                     {{QStringLiteral("联系人"), QStringLiteral("客户30")}, {QStringLiteral("手机"), dm.customerTable.text(QStringLiteral("手机"))}},
                     list);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.startsWith("%PDF"));
        // The card on its own page, the list after it.
        QVERIFY(bytes.count(QByteArray("/Type /Page\n")) + bytes.count(QByteArray("/Type /Page\r")) +
                    bytes.count(QByteArray("/Type /Page ")) + bytes.count(QByteArray("/Type/Page")) >= 2);
    }

    // 打印客户资料 in the window: the card's record in the card's order, and
    // the list of the tab in front with the grid's columns in its order.
    void theWindowPrintsWhatItShows()
    {
        const QString folder = testutil::makeProgramFolder();
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 5);
        testutil::execute(folder + QStringLiteral("data/web.mdb"),
                          QStringLiteral("insert into 来电数据 (电话, 日期, 时间, 联系人) values ('057163010428', '2026-1-5', '9:00:00', '来电人')"));
        testutil::MainFixture f;
        MainWindow& w = *f.w;
        w.activate();
        auto* tabs = testutil::named<QTabWidget>(&w, QStringLiteral("tabs"));
        tabs->setCurrentWidget(testutil::named<QWidget>(&w, QStringLiteral("customerTab")));
        f.dm->customerTable.next();  // 客户4
        testutil::named<DBGrid>(&w, QStringLiteral("customerGrid"))
            ->setColumnLayout({GridColumn{QStringLiteral("手机")}, GridColumn{QStringLiteral("联系人")}});

        QString title;
        const auto card = w.cardToPrint(&title);
        QCOMPARE(title, QStringLiteral("客户资料"));
        QCOMPARE(card.size(), 17);
        QCOMPARE(card[0], (QPair<QString, QString>{QStringLiteral("联系人"), QStringLiteral("客户4")}));
        QCOMPARE(card[4], (QPair<QString, QString>{QStringLiteral("手机"), QStringLiteral("13900000004")}));
        QCOMPARE(card[16].first, QStringLiteral("答复"));
        QCOMPARE(w.listColumnsToPrint(), (QStringList{QStringLiteral("手机"), QStringLiteral("联系人")}));

        // The call list in front: the call record and the call grid's columns.
        tabs->setCurrentWidget(testutil::named<QWidget>(&w, QStringLiteral("callTab")));
        QCOMPARE(w.cardToPrint(&title)[0].second, QStringLiteral("来电人"));
        QCOMPARE(title, QStringLiteral("来电记录"));
        QCOMPARE(w.listColumnsToPrint().first(), QStringLiteral("ID"));

        const QString pdf = folder + QStringLiteral("来电.pdf");
        QSignalSpy ended(&w, &MainWindow::printingEnded);
        w.printRecordsTo(pdfPrinter(pdf));
        QVERIFY(ended.wait(30000));
        QVERIFY(ended.first().first().toBool());
        QCOMPARE(pagesOf(pdf), 2);
        // A short list: nothing said about a cut.
        QVERIFY(!w.panelText(MainWindow::MessagePanel).contains(QStringLiteral("只打印")));
    }

    // A long list is printed by long work: the window is free at once, the
    // status bar says only the first 2,000 rows are printed, every row is
    // laid out (in slices of a page), and 停止 ends it without a message.
    void aLongListIsPrintedByLongWork()
    {
        const QString folder = testutil::makeProgramFolder();
        testutil::addCustomers(folder + QStringLiteral("data/web.mdb"), 2300);
        QStringList messages;
        setMessageSink([&messages](const QString& t) { messages << t; });
        testutil::MainFixture f;
        MainWindow& w = *f.w;
        w.activate();
        auto* tabs = testutil::named<QTabWidget>(&w, QStringLiteral("tabs"));
        tabs->setCurrentWidget(testutil::named<QWidget>(&w, QStringLiteral("customerTab")));

        const QString pdf = folder + QStringLiteral("长.pdf");
        QSignalSpy ended(&w, &MainWindow::printingEnded);
        w.printRecordsTo(pdfPrinter(pdf));
        QVERIFY(BackgroundWork::anyRunning());
        QCOMPARE(w.panelText(MainWindow::MessagePanel), QStringLiteral("客户列表共 2300 行，只打印前 2000 行。"));
        QVERIFY(currentWorkWindow() && currentWorkWindow()->stopOffered());
        QVERIFY(ended.wait(60000));
        QVERIFY(ended.first().first().toBool());
        // The card's page and 2,000 rows at most 36 to a page.
        QVERIFY2(pagesOf(pdf) >= 1 + 2000 / 36, qPrintable(QString::number(pagesOf(pdf))));

        const QString stopped = folder + QStringLiteral("停.pdf");
        w.printRecordsTo(pdfPrinter(stopped));
        currentWorkWindow()->pressStop();
        QVERIFY(ended.wait(60000));
        QVERIFY(!ended.last().first().toBool());
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        setMessageSink({});
    }
};

QTEST_MAIN(TestRecordPrinting)
#include "test_recordprinting.moc"
