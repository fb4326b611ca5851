// The category tree file, the tree search statements and the tree builder.

#include <QHash>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/errors/errorreport.h"
#include "rules/files/textfile.h"
#include "rules/lists/customertree.h"
#include "rules/lists/savefile.h"
#include "rules/lists/treeoutline.h"

using customertree::Node;

namespace {

// The tree of the rows built the plain way: an object per node with a
// hash of its children.
QVector<Node> plainTree(const QList<QStringList>& rows, int levels)
{
    struct Item {
        QString text;
        int level;
        QVector<int> children;
        QHash<QString, int> byText;
    };
    QVector<Item> items{{QString(), -1, {}, {}}};
    for (const QStringList& row : rows) {
        int parent = 0;
        for (int level = 0; level < levels && !row[level].isEmpty(); ++level) {
            int child = items[parent].byText.value(row[level], -1);
            if (child < 0) {
                child = int(items.size());
                items.append({row[level], level, {}, {}});
                items[parent].children.append(child);
                items[parent].byText.insert(row[level], child);
            }
            parent = child;
        }
    }
    QVector<Node> out;
    std::function<void(int)> walk = [&](int item) {
        for (int c : items[item].children) {
            out.append({items[c].level, items[c].text});
            walk(c);
        }
    };
    walk(0);
    return out;
}

}  // namespace

class TestCustomerTree : public QObject {
    Q_OBJECT
private slots:
    void treeFileBothWays()
    {
        const QVector<Node> tree{{0, "A"}, {1, "A1"}, {2, "X"}, {1, "A2"}, {0, "B"}, {0, "C"}};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kehu_TreeView.List"));
        replaceTextFile(path, customertree::treeLines(tree));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("A\r\n\tA1\r\n\t\tX\r\n\tA2\r\nB\r\nC\r\n"));
        QVector<Node> back;
        QVERIFY(customertree::parseTree(readTextLines(path), &back, nullptr));
        QCOMPARE(back, tree);
        // GBK text, and an empty tree is an empty file.
        replaceTextFile(path, customertree::treeLines({{0, QStringLiteral("华东")}}));
        f.close();
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xbb\xaa\xb6\xab\r\n"));
        replaceTextFile(path, {});
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void valuesStayWholeInTheFile()
    {
        // Line breaks anywhere, blanks in front, the mark itself, and blanks
        // that are not in front (kept as they are).
        const QVector<Node> tree{{0, " 华南"}, {1, "\t前置"}, {2, "第一行\r\n第二行"}, {1, "cr\ronly"},
                                 {0, "lf\nonly"}, {1, "  "}, {0, QStringLiteral("\uFDD0m")},
                                 {1, "in the middle \t x "}, {0, "\n"}};
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kehu_TreeView.List"));
        replaceTextFile(path, customertree::treeLines(tree));
        const QStringList lines = readTextLines(path);
        QCOMPARE(lines.size(), tree.size());  // one line per node
        QVector<Node> back;
        QString error;
        QVERIFY2(customertree::parseTree(lines, &back, &error), qPrintable(error));
        QCOMPARE(back, tree);
        // The mark is U+FDD0 in GB18030, then a letter.
        replaceTextFile(path, customertree::treeLines({{0, "A"}, {1, " x"}}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("A\r\n\t\x84\x30\xFA\x32" "sx\r\n"));
        // A plain value is written as it is.
        QCOMPARE(customertree::treeLines({{2, "a b"}}), QStringList{"\t\ta b"});
        // A mark with no known letter after it is read as it stands.
        QCOMPARE(customertree::decodeValue(QStringLiteral("\uFDD0q\uFDD0")), QStringLiteral("\uFDD0q\uFDD0"));
    }

    void readingRules()
    {
        QVector<Node> nodes;
        QString error;
        // Spaces count as levels too; the first line is always at the top.
        QVERIFY(customertree::parseTree({"\t\tA", " A1", "  X", "B", " B1", "\t B2"}, &nodes, &error));
        QCOMPARE(nodes, (QVector<Node>{{0, "A"}, {1, "A1"}, {2, "X"}, {0, "B"}, {1, "B1"}, {2, "B2"}}));
        // Two levels down at once ends the reading; what was read stays.
        QVERIFY(!customertree::parseTree({"A", "\tA1", "\t\t\tdeep", "B"}, &nodes, &error));
        QCOMPARE(error, QStringLiteral("Invalid level (3) for item \"deep\""));
        QCOMPARE(nodes, (QVector<Node>{{0, "A"}, {1, "A1"}}));
    }

    // The compact outline reads a file's text as the lines are read: the
    // same nodes, levels, order and error, whatever ends the lines.
    void outlineReadsTheFileAsTheLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("CR LF") << QStringLiteral("A\r\n\tA1\r\n\t\tX\r\n\tA2\r\nB\r\nC\r\n");
        QTest::newRow("lone CR, LF, no break at the end") << QStringLiteral("A\r\tA1\n\t\tX\r\n\tA2\nB\rC");
        QTest::newRow("empty lines in the middle") << QStringLiteral("A\r\n\r\n\tB1\r\n\r\n\r\n");
        QTest::newRow("spaces and an indented first line") << QStringLiteral("\t\tA\r\n A1\r\n  X\r\nB\r\n B1\r\n\t B2\r\n");
        QTest::newRow("marked values") << (QStringLiteral("\uFDD0s华南\r\n\t\uFDD0t前置\r\n\t\t第一行\uFDD0r\uFDD0n第二行\r\n")
                                           + QStringLiteral("\uFDD0m\uFDD0q\r\n"));
        QTest::newRow("a level too deep") << QStringLiteral("A\r\n\tA1\r\n\t\t\tdeep\r\nB\r\n");
        QTest::newRow("too deep at once") << QStringLiteral("A\r\n\t\tB\r\n");
        QTest::newRow("empty") << QString();
        QTest::newRow("only breaks") << QStringLiteral("\r\n\r\n");
    }
    void outlineReadsTheFileAsTheLines()
    {
        QFETCH(QString, text);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kehu_TreeView.List"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(toGb18030(text));
        }
        QVector<Node> expected;
        QString expectedError;
        const bool whole = customertree::parseTree(readTextLines(path), &expected, &expectedError);
        QString error;
        const customertree::Outline o = customertree::Outline::fromText(readText(path), &error);
        QCOMPARE(o.nodes(), expected);
        QCOMPARE(error, whole ? QString() : expectedError);
        // Every node is found again from its parent and place, and the
        // children of each come in the file's order.
        int seen = 0;
        for (int node = 0; node < o.count(); ++node) {
            QCOMPARE(o.child(o.parent(node), o.row(node)), node);
            QCOMPARE(o.parent(node) < 0 ? 0 : o.level(o.parent(node)) + 1, o.level(node));
            for (int r = 1; r < o.childCount(node); ++r)
                QVERIFY(o.child(node, r - 1) < o.child(node, r));
            seen += o.childCount(node);
        }
        QCOMPARE(seen + o.childCount(-1), o.count());
        QCOMPARE(o.child(-1, o.childCount(-1)), -1);
        // Built from the nodes, it writes the same lines back.
        QCOMPARE(customertree::treeLines(customertree::Outline::fromNodes(expected).nodes()),
                 customertree::treeLines(expected));
    }

    void outlineCaptionsShowOneLine()
    {
        const customertree::Outline o = customertree::Outline::fromNodes(
            {{0, "两\r\n行"}, {1, "cr\ronly"}, {1, "lf\nonly"}, {0, QStringLiteral("\uFDD0")}});
        QCOMPARE(o.caption(0), QStringLiteral("两 行"));
        QCOMPARE(o.value(0), QStringLiteral("两\r\n行"));
        QCOMPARE(o.caption(1), QStringLiteral("cr only"));
        QCOMPARE(o.caption(2), QStringLiteral("lf only"));
        QCOMPARE(o.value(3), QStringLiteral("\uFDD0"));
        QCOMPARE(o.childCount(0), 2);
        QCOMPARE(o.childCount(3), 0);
    }

    void searchStatements()
    {
        const QStringList list{"分类1", "分类2", "部门", "职务"};
        using customertree::treeSearch;
        auto s = treeSearch(list, {}, true);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "order by ID"}));
        QCOMPARE(s.message, QStringLiteral("当前数据：  全国客户"));
        s = treeSearch(list, {"B"}, false);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "where 分类1='B'"}));
        QCOMPARE(s.message, QStringLiteral("当前数据：  B"));
        s = treeSearch(list, {"B", "A"}, true);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "where 分类2='A'", "and 分类1='B'",
                                       "order by ID"}));
        QCOMPARE(s.message, QStringLiteral("当前数据：  B     A"));
        QCOMPARE(customertree::joinLines(s.lines),
                 QStringLiteral("Select  * from 客户数据\r\nwhere 分类2='A'\r\nand 分类1='B'\r\norder by ID\r\n"));
        s = treeSearch(list, {"G", "P", "N"}, false);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "where 部门='N'", "and 分类2='P'",
                                       "and 分类1='G'"}));
        QCOMPARE(s.message, QStringLiteral("当前数据：  G    P    N"));
        s = treeSearch(list, {"GG", "G", "P", "O'Brien"}, false);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "where 职务='O''Brien'",
                                       "and 部门='P'", "and 分类2='G'", "and 分类1='GG'"}));
        QCOMPARE(s.message, QStringLiteral("当前数据：  GG    G    P    O'Brien"));
        // Level 4 and deeper: no condition, the message panel keeps its text.
        s = treeSearch(list, {"1", "2", "3", "4", "5"}, true);
        QCOMPARE(s.lines, (QStringList{"Select  * from 客户数据", "order by ID"}));
        QVERIFY(!s.setsMessage);
        // A level the search list has no field for.
        QVERIFY_THROWS_EXCEPTION(AppError, treeSearch({"分类1"}, {"B", "A"}, true));
        QVERIFY_THROWS_EXCEPTION(AppError, treeSearch({}, {"B"}, true));
        QCOMPARE(treeSearch({}, {}, false).lines.size(), 1);
    }

    void unknownEntries()
    {
        const QStringList fields{"ID", "联系人", "分类1", "EMAIL"};
        QCOMPARE(customertree::firstUnknownEntry({"分类1", "email", "id"}, fields), -1);
        QCOMPARE(customertree::firstUnknownEntry({"分类1", "部门"}, fields), 1);
        QCOMPARE(customertree::firstUnknownEntry({}, fields), -1);
    }

    void builderKeepsFirstSeenOrderAndDropsBelowEmpty()
    {
        customertree::TreeBuilder b(3);
        b.addRow({"乙", "x", "1"});
        b.addRow({"甲", "y", "2"});
        b.addRow({"乙", "w", "3"});
        b.addRow({"乙", "x", "4"});
        b.addRow({"乙", "x", "1"});
        b.addRow({"", "lost", "5"});  // below an empty value: no node
        b.addRow({"甲", "", "6"});
        b.addRow({"甲", "y", ""});
        QCOMPARE(b.nodes(), (QVector<Node>{{0, "乙"}, {1, "x"}, {2, "1"}, {2, "4"}, {1, "w"}, {2, "3"},
                                          {0, "甲"}, {1, "y"}, {2, "2"}}));
        QCOMPARE(b.nodeCount(), 9);
    }

    // Many rows over few values (the same text under many parents, empty
    // values, texts the file marks, characters GBK lacks): the compact
    // builder gives the plain build's nodes, its outline the outline of
    // those nodes, and its file bytes those replaceTextFile writes for
    // their lines, across the stretches the bytes are converted in.
    void compactBuildMatchesThePlainOne()
    {
        const QStringList values{"华东", "华北", "x", " 前空格", "\t前制表", "两\r\n行", "一\n行", QString(QChar(0xFDD0)) + "标",
                                 "€五", "䶮", QStringLiteral("😀笑"), "杭州某某有限公司", "张三", "", "李四", "王五"};
        QRandomGenerator random(11);
        QList<QStringList> rows;
        customertree::TreeBuilder builder(4);
        for (int i = 0; i < 20000; ++i) {
            QStringList row;
            for (int level = 0; level < 4; ++level)
                row << values[random.bounded(level == 0 ? 4 : int(values.size()))] +
                           (level >= 2 ? QString::number(random.bounded(level == 2 ? 40 : 400)) : QString());
            if (random.bounded(50) == 0)
                row[random.bounded(4)].clear();
            rows << row;
            builder.addRow(row);
        }
        builder.finishRows();  // as the rebuild does before it reads the nodes
        const QVector<Node> plain = plainTree(rows, 4);
        QVERIFY(plain.size() > 5000);
        QCOMPARE(builder.nodeCount(), plain.size());
        QCOMPARE(builder.nodes(), plain);

        const customertree::Outline compact = customertree::Outline::fromBuilder(builder);
        const customertree::Outline fromNodes = customertree::Outline::fromNodes(plain);
        QCOMPARE(compact.nodes(), plain);
        for (int i = 0; i < compact.count(); ++i) {
            QCOMPARE(compact.parent(i), fromNodes.parent(i));
            QCOMPARE(compact.row(i), fromNodes.row(i));
            QCOMPARE(compact.childCount(i), fromNodes.childCount(i));
        }
        QCOMPARE(compact.childCount(-1), fromNodes.childCount(-1));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kehu_TreeView.List"));
        replaceTextFile(path, customertree::treeLines(plain));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray written = f.readAll();
        QVERIFY(written.size() > 3 * 65536);
        QCOMPARE(customertree::treeFileBytes(builder), written);

        // No rows, or no levels: no nodes and an empty file.
        for (int levels : {0, 2}) {
            customertree::TreeBuilder empty(levels);
            if (levels == 0)
                empty.addRow({"甲"});
            QCOMPARE(empty.nodeCount(), 0);
            QCOMPARE(customertree::treeFileBytes(empty), QByteArray());
            QCOMPARE(customertree::Outline::fromBuilder(empty).count(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(TestCustomerTree)
#include "test_customertree.moc"
