// The statement buffer gives the lines, and so the statement text, that a
// multi-line text box filled line by line gives, whatever the values hold.

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QtTest>

#include "rules/statements/statementbuffer.h"
#include "rules/statements/statementtext.h"

namespace {
// The lines as a text box shows them after being cleared and filled one
// appended line at a time.
QStringList boxLines(const QStringList& lines)
{
    QPlainTextEdit box;
    for (const QString& line : lines)
        box.appendPlainText(line);
    QStringList out;
    for (QTextBlock b = box.document()->begin(); b.isValid(); b = b.next())
        out << b.text();
    if (lines.isEmpty())
        out.clear();
    return out;
}
}  // namespace

class TestStatementBuffer : public QObject {
    Q_OBJECT
private slots:
    void linesAsATextBoxKeepsThem_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("none") << QStringList{};
        QTest::newRow("plain") << QStringList{"select * from 客户数据", "where 手机 like '%139%'"};
        QTest::newRow("one empty") << QStringList{""};
        QTest::newRow("empty first") << QStringList{"", "select 1"};
        QTest::newRow("empty ones first") << QStringList{"", "", "a", ""};
        QTest::newRow("empty in between") << QStringList{"a", "", "b"};
        QTest::newRow("LF in a value") << QStringList{"where 地址 like '%一\n二%'"};
        QTest::newRow("CR LF in a value") << QStringList{"a\r\nb", "c"};
        QTest::newRow("lone CR") << QStringList{"a\rb"};
        QTest::newRow("CR CR LF") << QStringList{"a\r\r\nb"};
        QTest::newRow("paragraph separator") << QStringList{QStringLiteral("a\u2029b")};
        QTest::newRow("line separator stays") << QStringList{QStringLiteral("a\u2028b")};
        QTest::newRow("LF first") << QStringList{"\nA", "B"};
        QTest::newRow("only LF") << QStringList{"\n"};
        QTest::newRow("tab and quote") << QStringList{"\t'x'", "end\n"};
    }
    void linesAsATextBoxKeepsThem()
    {
        QFETCH(QStringList, lines);
        StatementBuffer buffer;
        const QString sent = buffer.compose(lines);
        const QStringList expected = boxLines(lines);
        QCOMPARE(buffer.lines(), expected);
        QCOMPARE(sent, statementText(expected));
        QCOMPARE(buffer.text(), expected.join(QLatin1Char('\n')));
    }

    void composeStartsAfresh()
    {
        StatementBuffer buffer;
        buffer.compose({QStringLiteral("a"), QStringLiteral("b")});
        QCOMPARE(buffer.compose({QStringLiteral("c")}), QStringLiteral("c\r\n"));
        QCOMPARE(buffer.lines(), QStringList{QStringLiteral("c")});
        QCOMPARE(buffer.compose({}), QString());
        QVERIFY(buffer.lines().isEmpty());
    }
};

QTEST_MAIN(TestStatementBuffer)
#include "test_statementbuffer.moc"
