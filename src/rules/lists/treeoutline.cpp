#include "rules/lists/treeoutline.h"

#include <algorithm>

namespace customertree {

Outline Outline::fromText(QStringView text, QString* error)
{
    Outline o;
    o.text_.reserve(text.size());
    qsizetype start = 0;
    const qsizetype n = text.size();
    // Lines end at CR LF, CR or LF, as readTextLines splits them.
    for (qsizetype i = 0; i <= n; ++i) {
        if (i < n && text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        if (i == n && start == n)
            break;
        if (!o.appendLine(text.mid(start, i - start), error))
            break;
        if (i + 1 < n && text[i] == QLatin1Char('\r') && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    o.text_.squeeze();
    o.linkChildren();
    return o;
}

Outline Outline::fromNodes(const QVector<Node>& nodes)
{
    Outline o;
    for (const Node& node : nodes)
        o.append(node.level, encodeValue(node.text));
    o.text_.squeeze();
    o.linkChildren();
    return o;
}

Outline Outline::fromBuilder(const TreeBuilder& builder)
{
    Outline o;
    const qsizetype n = builder.nodeCount();
    o.text_.reserve(builder.textSize() + 16);
    o.at_.reserve(n + 1);
    o.level_.reserve(n);
    o.parent_.reserve(n);
    builder.forEachNode([&o](int level, QStringView text) {
        if (o.at_.empty())
            o.at_.push_back(0);
        appendEncoded(o.text_, text);
        o.endNode(level);
    });
    o.text_.squeeze();
    o.linkChildren();
    return o;
}

bool Outline::appendLine(QStringView line, QString* error)
{
    int k = 0;
    while (k < line.size() && (line[k] == QLatin1Char('\t') || line[k] == QLatin1Char(' ')))
        ++k;
    const QStringView encoded = line.mid(k);
    if (level_.empty()) {
        k = 0;  // the first line is always a top-level node
    } else if (k > level_.back() + 1) {
        if (error)
            *error = QStringLiteral("Invalid level (%1) for item \"%2\"")
                         .arg(QString::number(k), decodeValue(encoded.toString()));
        return false;
    }
    append(k, encoded);
    return true;
}

void Outline::append(int level, QStringView encoded)
{
    if (at_.empty())
        at_.push_back(0);
    text_.append(encoded);
    endNode(level);
}

void Outline::endNode(int level)
{
    // Never below a missing parent.
    level = std::clamp(level, 0, int(lastAt_.size()));
    const int node = count();
    at_.push_back(std::uint32_t(text_.size()));
    level_.push_back(level);
    parent_.push_back(level == 0 ? -1 : lastAt_[level - 1]);
    lastAt_.resize(level + 1);
    lastAt_[level] = node;
}

void Outline::linkChildren()
{
    lastAt_ = {};
    const int n = count();
    // Counted per parent (root first), summed into starts, then filled in
    // the order of the file: each parent's children in their own order.
    first_.assign(n + 2, 0);
    for (int i = 0; i < n; ++i)
        ++first_[parent_[i] + 2];
    for (int p = 2; p < n + 2; ++p)
        first_[p] += first_[p - 1];
    kids_.resize(n);
    row_.resize(n);
    std::vector<std::int32_t> next(first_.begin(), first_.end() - 1);
    for (int i = 0; i < n; ++i) {
        const int slot = next[parent_[i] + 1]++;
        kids_[slot] = i;
        row_[i] = slot - first_[parent_[i] + 1];
    }
}

int Outline::childCount(int node) const
{
    if (first_.empty())
        return 0;
    return first_[node + 2] - first_[node + 1];
}

int Outline::child(int node, int row) const
{
    if (row < 0 || row >= childCount(node))
        return -1;
    return kids_[first_[node + 1] + row];
}

QString Outline::value(int node) const
{
    return decodeValue(text_.sliced(at_[node], at_[node + 1] - at_[node]));
}

QString Outline::caption(int node) const
{
    QString shown = value(node);
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    return shown;
}

QVector<Node> Outline::nodes() const
{
    QVector<Node> out;
    out.reserve(count());
    for (int i = 0; i < count(); ++i)
        out.append({level_[i], value(i)});
    return out;
}

}  // namespace customertree
