// Printing the card and the list as shown, to a PDF file.

#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QtTest>

#include "data/app/datamodule.h"
#include "testutil.h"
#include "ui/records/recordprinting.h"

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
};

QTEST_MAIN(TestRecordPrinting)
#include "test_recordprinting.moc"
