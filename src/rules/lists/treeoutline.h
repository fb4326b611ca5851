#pragma once
// The category tree held compactly, for a view that asks for a node's
// children only when it shows them: every node's text in one string, and
// its parent, place and children as numbers.  A million nodes take tens of
// megabytes, not the hundreds that an object per node would.  Once built it
// is never changed, so it can be built on one thread and read on another.

#include <QString>
#include <QStringView>
#include <QVector>
#include <cstdint>
#include <vector>

#include "rules/lists/customertree.h"

namespace customertree {

class Outline {
public:
    // The file's text (as readTextLines decodes it) read as parseTree reads
    // its lines: on a line more than one level below the one before, the
    // reading ends with parseTree's error in *error and the outline holds
    // the nodes before it.
    static Outline fromText(QStringView text, QString* error);
    static Outline fromNodes(const QVector<Node>& nodes);
    // The builder's tree, its texts encoded straight into the outline.
    static Outline fromBuilder(const TreeBuilder& builder);

    int count() const { return int(level_.size()); }
    // `node` -1 is the (unseen) root: its children are the top level.
    int childCount(int node) const;
    int child(int node, int row) const;  // -1 when there is no such child
    int parent(int node) const { return parent_[node]; }
    int row(int node) const { return row_[node]; }
    int level(int node) const { return level_[node]; }
    QString value(int node) const;  // as the customers hold it
    QString caption(int node) const;  // as the tree shows it: on one line

    QVector<Node> nodes() const;  // depth first, as the file lists them

private:
    // Appends a node from its line's text (levels and value as the file
    // writes them); false, with nothing appended, at a level too deep.
    bool appendLine(QStringView line, QString* error);
    void append(int level, QStringView encoded);
    // The node whose encoded value was just appended to text_.
    void endNode(int level);
    void linkChildren();

    QString text_;                   // the encoded values, one after another
    std::vector<std::uint32_t> at_;  // node i's value: at_[i] .. at_[i + 1]
    std::vector<std::int32_t> level_;
    std::vector<std::int32_t> parent_;  // -1 at the top level
    std::vector<std::int32_t> row_;     // among its parent's children
    // The children of node i are kids_[first_[i + 1] .. first_[i + 2]);
    // those of the root kids_[first_[0] .. first_[1]).
    std::vector<std::int32_t> first_;
    std::vector<std::int32_t> kids_;
    std::vector<std::int32_t> lastAt_;  // while reading: the last node of each level
};

}  // namespace customertree
