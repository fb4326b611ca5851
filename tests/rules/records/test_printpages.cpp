// The printed card and list hold what the screen shows, escaped.

#include <QtTest>

#include "rules/records/printpages.h"

class TestPrintPages : public QObject {
    Q_OBJECT
private slots:
    void cardAndListKeepTheirOrderAndEscapeMarkup()
    {
        const QString card = cardPage(QStringLiteral("客户资料"),
                                      {{QStringLiteral("联系人"), QStringLiteral("张琪英")},
                                       {QStringLiteral("公司名称"), QStringLiteral("<b>东顺</b> & 子公司")},
                                       {QStringLiteral("事项"), QStringLiteral("第一行\r\n第二行")}});
        QVERIFY(card.indexOf(QStringLiteral("联系人")) < card.indexOf(QStringLiteral("公司名称")));
        QVERIFY(card.contains(QStringLiteral("&lt;b&gt;东顺&lt;/b&gt; &amp; 子公司")));
        QVERIFY(card.contains(QStringLiteral("第一行<br>第二行")));
        QVERIFY(!card.contains(QStringLiteral("<b>东顺")));

        // A short row is padded, a long one cut to the columns shown.
        const QString list = listPage(QStringLiteral("来电列表"), {QStringLiteral("电话"), QStringLiteral("日期")},
                                      {{QStringLiteral("0571"), QStringLiteral("2026-12-8"), QStringLiteral("hidden")},
                                       {QStringLiteral("138")}});
        QCOMPARE(list.count(QStringLiteral("<th>")), 2);
        QCOMPARE(list.count(QStringLiteral("<td>")), 4);
        QVERIFY(!list.contains(QStringLiteral("hidden")));
        QVERIFY(list.indexOf(QStringLiteral("0571")) < list.indexOf(QStringLiteral("138")));
    }
};

QTEST_GUILESS_MAIN(TestPrintPages)
#include "test_printpages.moc"
