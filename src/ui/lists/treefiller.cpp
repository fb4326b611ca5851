#include "ui/lists/treefiller.h"

#include <QTimer>
#include <QTreeWidget>
#include <algorithm>

using customertree::Node;

namespace treeitems {

QTreeWidgetItem* makeItem(const QString& value)
{
    auto* item = new QTreeWidgetItem;
    QString shown = value;
    shown.replace(QLatin1String("\r\n"), QLatin1String(" "))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    item->setText(0, shown);
    if (shown != value)
        item->setData(0, kValueRole, value);
    return item;
}

QString valueOf(const QTreeWidgetItem* item)
{
    const QVariant v = item->data(0, kValueRole);
    return v.isValid() ? v.toString() : item->text(0);
}

QVector<Group> makeGroups(const QVector<Node>& nodes)
{
    // groups[0] is the top level; an item's group is made with its first child.
    QVector<Group> groups(1);
    QVector<int> lastGroup;  // the group of children of the last item at each level (-1: none yet)
    QVector<QTreeWidgetItem*> last;
    for (const Node& n : nodes) {
        QTreeWidgetItem* item = makeItem(n.text);
        const int level = std::clamp(n.level, 0, int(last.size()));  // never below a missing parent
        if (level == 0) {
            groups[0].children.append(item);
        } else {
            int& g = lastGroup[level - 1];
            if (g < 0) {
                g = int(groups.size());
                groups.append(Group{last[level - 1], {}});
            }
            groups[g].children.append(item);
        }
        last.resize(level + 1);
        lastGroup.resize(level + 1);
        last[level] = item;
        lastGroup[level] = -1;
    }
    return groups;
}

QList<QTreeWidgetItem*> joinGroups(const QVector<Group>& groups)
{
    for (qsizetype i = 1; i < groups.size(); ++i)
        groups[i].parent->addChildren(groups[i].children);
    return groups.isEmpty() ? QList<QTreeWidgetItem*>() : groups[0].children;
}

void deleteGroups(const QVector<Group>& groups)
{
    // Deepest first: an item goes with its children already gone.
    for (qsizetype i = groups.size() - 1; i >= 0; --i)
        qDeleteAll(groups[i].children);
}

}  // namespace treeitems

TreeFiller::TreeFiller(QTreeWidget* tree, QObject* parent) : QObject(parent), tree_(tree) {}

TreeFiller::~TreeFiller() { abandon(); }

void TreeFiller::start(QVector<treeitems::Group> groups)
{
    abandon();
    incoming_ = std::move(groups);
    at_ = 0;
    childAt_ = 0;
    parents_ = {tree_->invisibleRootItem()};
    visit_ = 0;
    // Taking rows out under open nodes has the view lay them out again
    // each time; closed, it does not.
    tree_->collapseAll();
    phase_ = Collect;
    step();
}

void TreeFiller::abandon()
{
    if (phase_ == Idle)
        return;
    // What is not in the view yet: the groups from the one being put in on
    // (its children from childAt_ on), none of them joined to the view.
    if (at_ < incoming_.size()) {
        QVector<treeitems::Group> rest(incoming_.begin() + at_, incoming_.end());
        rest[0].children = rest[0].children.mid(childAt_);
        treeitems::deleteGroups(rest);
    }
    incoming_.clear();
    parents_.clear();
    phase_ = Idle;
}

void TreeFiller::step()
{
    clock_.start();
    // The old items with children, top first (the view is not changed
    // while they are collected).
    while (phase_ == Collect) {
        if (visit_ >= parents_.size()) {
            phase_ = TakeOut;
            break;
        }
        QTreeWidgetItem* p = parents_[visit_++];
        for (int i = 0, n = p->childCount(); i < n; ++i)
            if (p->child(i)->childCount() > 0)
                parents_.append(p->child(i));
        if (sliceOver())
            break;
    }
    // Taken out from the deepest up: each take then walks only leaves.  A
    // long list of children is taken from its end one by one.
    while (phase_ == TakeOut && !sliceOver()) {
        if (parents_.isEmpty()) {
            phase_ = PutIn;
            break;
        }
        QTreeWidgetItem* p = parents_.last();
        if (p->childCount() > 500) {
            for (int k = 0; k < 500; ++k)
                delete p->takeChild(p->childCount() - 1);
            continue;
        }
        qDeleteAll(p->takeChildren());
        parents_.removeLast();
    }
    // Put in from the top down, a part of a long group at a time.
    while (phase_ == PutIn && !sliceOver()) {
        if (at_ >= incoming_.size()) {
            incoming_.clear();
            phase_ = Idle;
            emit finished();
            return;
        }
        treeitems::Group& g = incoming_[at_];
        const int n = std::min<int>(1000, int(g.children.size()) - childAt_);
        const QList<QTreeWidgetItem*> part = g.children.mid(childAt_, n);
        if (g.parent)
            g.parent->addChildren(part);
        else
            tree_->addTopLevelItems(part);
        childAt_ += n;
        if (childAt_ >= g.children.size()) {
            ++at_;
            childAt_ = 0;
        }
    }
    if (phase_ != Idle)
        QTimer::singleShot(0, this, &TreeFiller::step);
}
