#pragma once
// The customer list's category tree and its search list:
//  - set/kehu_Search.List: the customer fields the tree's levels stand for,
//    one per line (level 0 first);
//  - set/kehu_TreeView.List: the tree, one line per node in depth-first
//    order, as many TABs as the node's level before its text;
//  - the tree built from the customers' values, and the statement of a
//    search for one node.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>
#include <cstdint>
#include <functional>
#include <vector>

#include "rules/statements/query.h"

namespace customertree {

// A node of the tree in depth-first order: its level (0 at the top) and text.
struct Node {
    int level = 0;
    QString text;
    bool operator==(const Node&) const = default;
};

// --- the tree file -----------------------------------------------------------

// The lines of the file (without their line breaks).  A value is kept whole
// on its line: a line break anywhere in it and a TAB or space at its start
// (which the reader would take for levels) are written as a mark followed by
// a letter; so is the mark itself.  The mark, U+FDD0, is no character of
// GBK, so no file written in GBK holds it and such files read as before.
QStringList treeLines(const QVector<Node>& nodes);

// Reads the lines back.  Every leading TAB or space counts as one level and
// is taken off the text; the first line is always a top-level node; marked
// characters are restored.  A line more than one level below the line before
// ends the reading with an error "Invalid level (k) for item "text"": *nodes
// holds the nodes read so far.
bool parseTree(const QStringList& lines, QVector<Node>* nodes, QString* error);

// One value as it stands in a line of the file, and back.
QString encodeValue(const QString& value);
QString decodeValue(const QString& text);

// --- the search list ---------------------------------------------------------

// The index of the first entry of `list` that `fields` lacks (names compared
// without regard to case), or -1 when every entry is a field.
int firstUnknownEntry(const QStringList& list, const QStringList& fields);

// --- building the tree from the customers' values ------------------------------

// Takes the values of the first (up to four) search fields row by row, in
// the order the database returns the rows, and gives the tree in which
//  - the top level holds the distinct values of field 0,
//  - under each node, the distinct values of the next field among the rows
//    that carry the node's value and those of all its ancestors,
// each list of children in the order its values first appear.  An empty
// value gets no node; the values found below it have no node to hang from
// and are left out.
class TreeBuilder {
public:
    explicit TreeBuilder(int levels);
    int levels() const { return levels_; }
    // One row: the values of fields 0 .. levels-1 (NULL read as empty).
    void addRow(const QStringList& values);
    // Every row is in: what finds a node's child by its text goes, and the
    // texts take only the memory they need (a tree of a million nodes gives
    // back tens of megabytes before its outline and file are made).  No
    // rows are added after it.
    void finishRows();
    QVector<Node> nodes() const;  // depth-first
    int nodeCount() const { return int(level_.size()); }
    // Calls `visit` with each node's level and text, depth first, without
    // copying the texts.
    void forEachNode(const std::function<void(int level, QStringView text)>& visit) const;
    // The characters of all the nodes' texts together.
    qsizetype textSize() const { return text_.size(); }

private:
    // Every node's text in one string, its parent and its place among its
    // siblings as numbers, and one table finding a parent's child by its
    // text: a million nodes take tens of megabytes, not an object (and a
    // hash of its children) each.
    QStringView textOf(int node) const;
    int findOrAdd(int parent, int level, const QString& value);
    void grow();

    int levels_;
    QString text_;
    std::vector<std::uint32_t> at_{0};  // node i's text: at_[i] .. at_[i + 1]
    std::vector<std::int8_t> level_;
    std::vector<std::int32_t> firstChild_;   // -1: none
    std::vector<std::int32_t> lastChild_;
    std::vector<std::int32_t> nextSibling_;  // in the order the values first appear
    std::int32_t firstTop_ = -1, lastTop_ = -1;
    // Open addressing over (parent, text); a slot holds what a probe
    // compares first, so that most probes read nothing else.
    struct Slot {
        std::int32_t node = -1;  // -1: free
        std::int32_t parent = -1;
        std::uint32_t hash = 0;
    };
    std::vector<Slot> slots_;
};

// The value as it stands in a line of the file (encodeValue), appended to `out`.
void appendEncoded(QString& out, QStringView value);

// The bytes of the tree file of the builder's tree: the same bytes as
// replaceTextFile writes for treeLines(builder.nodes()), made without a
// string per node or line.
QByteArray treeFileBytes(const TreeBuilder& builder);

// --- the tree search -------------------------------------------------------------

struct TreeSearch {
    QStringList lines;        // the statement, one line each
    bool setsMessage = false;  // false: the message panel keeps its text
    QString message;
    bool ordered = false;     // the last line orders it by ID
    bool wholeTable = false;  // no node selected: every customer
    // The statement as the customer list runs it.
    WrittenStatement statement() const;
};

// The statement and message panel text for a click in the tree.  `path`
// holds the texts from the top-level node down to the selected node (empty
// when no node is selected); field k of the search list is the field of
// level k.  Values are quoted with their quotes doubled.  `orderById` adds
// "order by ID".  Throws AppError when the node's level has no field in the
// search list.
TreeSearch treeSearch(const QStringList& searchList, const QStringList& path, bool orderById);

// Every line followed by CR LF.
QString joinLines(const QStringList& lines);

}  // namespace customertree
