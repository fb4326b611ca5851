#pragma once
// The customer list's tree view and its items: the items of a tree's nodes,
// made on any thread, and putting them into the view a slice at a time, so
// that the window thread is never held for long however large the tree.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include "rules/lists/customertree.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace treeitems {

// A node's value, when the view shows it otherwise (a value with a line
// break shows on one line).
inline constexpr int kValueRole = Qt::UserRole;

QTreeWidgetItem* makeItem(const QString& value);
QString valueOf(const QTreeWidgetItem* item);

// The children of one item (of the view's top level when `parent` is null).
struct Group {
    QTreeWidgetItem* parent = nullptr;
    QList<QTreeWidgetItem*> children;
};

// The items of the nodes, none joined to another yet: the top-level group
// first, then a group for each item that has children, in depth-first
// order, so that every parent comes before its own children's group.
QVector<Group> makeGroups(const QVector<customertree::Node>& nodes);
// Joins every group's children to their parent; gives the top-level items.
QList<QTreeWidgetItem*> joinGroups(const QVector<Group>& groups);
void deleteGroups(const QVector<Group>& groups);

}  // namespace treeitems

// Replaces the items of a tree view by new ones in slices of the event
// loop's time: the old items are taken out and deleted from the deepest up,
// then the new groups are put in from the top down.
class TreeFiller : public QObject {
    Q_OBJECT
public:
    explicit TreeFiller(QTreeWidget* tree, QObject* parent = nullptr);
    ~TreeFiller() override;  // items not yet shown are deleted

    void start(QVector<treeitems::Group> groups);
    bool running() const { return phase_ != Idle; }
    // Ends a fill under way: the view keeps what it has, the rest is deleted.
    void abandon();

    // Time one slice may take before the event loop has its turn.
    static constexpr int kSliceMs = 15;

signals:
    void finished();

private:
    enum Phase { Idle, Collect, TakeOut, PutIn };
    void step();
    bool sliceOver() const { return clock_.elapsed() >= kSliceMs; }

    QTreeWidget* tree_;
    Phase phase_ = Idle;
    QElapsedTimer clock_;
    QVector<treeitems::Group> incoming_;
    int at_ = 0;         // group being put in
    int childAt_ = 0;    // of its children
    QVector<QTreeWidgetItem*> parents_;  // old items with children, top first
    int visit_ = 0;      // of parents_ during the collection
};
