#include "rules/lists/customertree.h"

#include <algorithm>

#include "rules/statements/statementtext.h"
#include "rules/files/textfile.h"
#include "rules/lists/listsearch.h"
#include "rules/statements/tablenames.h"

namespace customertree {

namespace {

const QChar kMark(0xFDD0);

// The letter after the mark for a character that is marked, or 0.
char16_t letterFor(QChar c, bool atStart)
{
    switch (c.unicode()) {
    case 0xFDD0: return u'm';
    case u'\r': return u'r';
    case u'\n': return u'n';
    case u'\t': return atStart ? u't' : 0;
    case u' ': return atStart ? u's' : 0;
    default: return 0;
    }
}

}  // namespace

QString encodeValue(const QString& value)
{
    bool plain = true;
    for (qsizetype i = 0; i < value.size() && plain; ++i)
        plain = letterFor(value[i], i == 0) == 0;
    if (plain)
        return value;
    QString out;
    out.reserve(value.size() + 4);
    appendEncoded(out, value);
    return out;
}

void appendEncoded(QString& out, QStringView value)
{
    // Most values need no mark: appended whole.
    qsizetype plain = 0;
    while (plain < value.size() && letterFor(value[plain], plain == 0) == 0)
        ++plain;
    out.append(value.first(plain));
    for (qsizetype i = plain; i < value.size(); ++i) {
        if (const char16_t letter = letterFor(value[i], i == 0)) {
            out += kMark;
            out += QChar(letter);
        } else {
            out += value[i];
        }
    }
}

QString decodeValue(const QString& text)
{
    if (!text.contains(kMark))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == kMark && i + 1 < text.size()) {
            QChar c;
            switch (text[i + 1].unicode()) {
            case u'm': c = kMark; break;
            case u'r': c = QLatin1Char('\r'); break;
            case u'n': c = QLatin1Char('\n'); break;
            case u't': c = QLatin1Char('\t'); break;
            case u's': c = QLatin1Char(' '); break;
            default: break;
            }
            if (!c.isNull()) {
                out += c;
                ++i;
                continue;
            }
        }
        out += text[i];  // a mark with no known letter stays as it is
    }
    return out;
}

QStringList treeLines(const QVector<Node>& nodes)
{
    QStringList lines;
    lines.reserve(nodes.size());
    for (const Node& n : nodes)
        lines << QString(n.level, QLatin1Char('\t')) + encodeValue(n.text);
    return lines;
}

bool parseTree(const QStringList& lines, QVector<Node>* nodes, QString* error)
{
    nodes->clear();
    int previous = 0;
    for (const QString& line : lines) {
        int k = 0;
        while (k < line.size() && (line[k] == QLatin1Char('\t') || line[k] == QLatin1Char(' ')))
            ++k;
        const QString text = decodeValue(line.mid(k));
        if (nodes->isEmpty()) {
            k = 0;  // the first line is always a top-level node
        } else if (k > previous + 1) {
            if (error)
                *error = QStringLiteral("Invalid level (%1) for item \"%2\"").arg(QString::number(k), text);
            return false;
        }
        nodes->append({k, text});
        previous = k;
    }
    return true;
}

int firstUnknownEntry(const QStringList& list, const QStringList& fields)
{
    for (int i = 0; i < list.size(); ++i)
        if (!fields.contains(list[i], Qt::CaseInsensitive))
            return i;
    return -1;
}

TreeSearch treeSearch(const QStringList& searchList, const QStringList& path, bool orderById)
{
    TreeSearch s;
    s.lines << QStringLiteral("Select  * from 客户数据");
    if (path.isEmpty()) {
        s.wholeTable = true;
        s.setsMessage = true;
        s.message = QStringLiteral("当前数据：  全国客户");
    } else if (path.size() <= 4) {
        const int level = int(path.size()) - 1;
        if (level >= searchList.size())
            throw AppError(QStringLiteral("检索列表中没有第 %1 级节点的字段，应该重新生成列表！")
                               .arg(level + 1));
        auto condition = [&](int k) {
            return searchList[k] + QLatin1Char('=') + QLatin1Char('\'') + quotedValue(path[k]) +
                   QLatin1Char('\'');
        };
        s.lines << QStringLiteral("where ") + condition(level);
        for (int k = level - 1; k >= 0; --k)
            s.lines << QStringLiteral("and ") + condition(k);
        s.setsMessage = true;
        s.message = QStringLiteral("当前数据：  ") +
                    path.join(level == 1 ? QStringLiteral("     ") : QStringLiteral("    "));
    }
    if (orderById) {
        s.lines << QStringLiteral("order by ID");
        s.ordered = true;
    }
    return s;
}

WrittenStatement TreeSearch::statement() const
{
    const QString table = tables::customers();
    WrittenStatement w = WrittenStatement::of(joinLines(lines), table);
    if (ordered)
        w = WrittenStatement::ordered(joinLines(lines.mid(0, lines.size() - 1)), joinLines(lines.mid(lines.size() - 1)),
                                      table, QStringLiteral("ID"), false);
    w.wholeTable = wholeTable;
    return w;
}

QString joinLines(const QStringList& lines)
{
    QString text;
    for (const QString& l : lines)
        text += l + QLatin1String("\r\n");
    return text;
}

}  // namespace customertree
