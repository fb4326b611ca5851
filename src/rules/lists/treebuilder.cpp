// The customer tree built from the rows' values (TreeBuilder), and the tree
// file's bytes made from it.

#include <QHashFunctions>
#include <algorithm>

#include "rules/files/textfile.h"
#include "rules/lists/customertree.h"

namespace customertree {

namespace {

// Where (parent, text) starts looking in a table of `mask + 1` slots.
std::uint32_t hashOf(int parent, QStringView text)
{
    return std::uint32_t(qHash(text, size_t(parent) * 0x9E3779B97F4A7C15ull + 1));
}

}  // namespace

TreeBuilder::TreeBuilder(int levels) : levels_(std::clamp(levels, 0, 4)), slots_(1024) {}

QStringView TreeBuilder::textOf(int node) const
{
    return QStringView(text_).sliced(at_[node], at_[node + 1] - at_[node]);
}

void TreeBuilder::grow()
{
    std::vector<Slot> table(slots_.size() * 2);
    const std::size_t mask = table.size() - 1;
    for (const Slot& slot : slots_) {
        if (slot.node < 0)
            continue;
        std::size_t at = slot.hash & mask;
        while (table[at].node >= 0)
            at = (at + 1) & mask;
        table[at] = slot;
    }
    slots_.swap(table);
}

int TreeBuilder::findOrAdd(int parent, int level, const QString& value)
{
    const std::uint32_t hash = hashOf(parent, value);
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = hash & mask;
    for (; slots_[at].node >= 0; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.hash == hash && slot.parent == parent && textOf(slot.node) == value)
            return slot.node;
    }
    const int node = nodeCount();
    text_.append(value);
    at_.push_back(std::uint32_t(text_.size()));
    level_.push_back(std::int8_t(level));
    firstChild_.push_back(-1);
    lastChild_.push_back(-1);
    nextSibling_.push_back(-1);
    // Each list of children in the order its values first appear.
    std::int32_t& last = parent < 0 ? lastTop_ : lastChild_[parent];
    if (last < 0)
        (parent < 0 ? firstTop_ : firstChild_[parent]) = node;
    else
        nextSibling_[last] = node;
    last = node;
    slots_[at] = Slot{node, parent, hash};
    // At most half full: the probes stay short.
    if (std::size_t(nodeCount()) * 2 > slots_.size())
        grow();
    return node;
}

void TreeBuilder::finishRows()
{
    std::vector<Slot>().swap(slots_);
    text_.squeeze();
}

void TreeBuilder::addRow(const QStringList& values)
{
    Q_ASSERT(!slots_.empty());  // not after finishRows()
    if (slots_.empty())
        return;
    int parent = -1;
    for (int level = 0; level < levels_ && level < values.size(); ++level) {
        const QString& v = values[level];
        if (v.isEmpty())
            return;  // nothing below an empty value gets a node
        parent = findOrAdd(parent, level, v);
    }
}

void TreeBuilder::forEachNode(const std::function<void(int level, QStringView text)>& visit) const
{
    // Depth first without recursion: the way down is at most four deep.
    std::vector<std::int32_t> path;
    int node = firstTop_;
    while (node >= 0) {
        visit(level_[node], textOf(node));
        if (firstChild_[node] >= 0) {
            path.push_back(node);
            node = firstChild_[node];
            continue;
        }
        while (node >= 0 && nextSibling_[node] < 0) {
            node = path.empty() ? -1 : path.back();
            if (!path.empty())
                path.pop_back();
        }
        if (node >= 0)
            node = nextSibling_[node];
    }
}

QVector<Node> TreeBuilder::nodes() const
{
    QVector<Node> out;
    out.reserve(nodeCount());
    forEachNode([&out](int level, QStringView text) { out.append({level, text.toString()}); });
    return out;
}

QByteArray treeFileBytes(const TreeBuilder& builder)
{
    // The lines are converted a stretch at a time: GB18030 is converted
    // character by character, so whole lines give the bytes the whole text
    // gives.
    constexpr qsizetype kStretch = 1 << 16;
    QByteArray bytes;
    bytes.reserve(builder.textSize() * 2 + builder.nodeCount() * 4);
    QString lines;
    lines.reserve(kStretch + 1024);
    builder.forEachNode([&](int level, QStringView text) {
        for (int i = 0; i < level; ++i)
            lines += QLatin1Char('\t');
        appendEncoded(lines, text);
        lines.append(QLatin1String("\r\n"));
        if (lines.size() >= kStretch) {
            bytes += toGb18030(lines);
            lines.resize(0);  // keeps its room
        }
    });
    bytes += toGb18030(lines);
    return bytes;
}

}  // namespace customertree
