#include "ui/calls/earliercallspanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

EarlierCallsPanel::EarlierCallsPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("earlierCallsPanel"));
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("earlierCallsTitle"));
    calls_ = new QTreeWidget(this);
    calls_->setObjectName(QStringLiteral("earlierCalls"));
    calls_->setRootIsDecorated(false);
    calls_->setUniformRowHeights(true);
    calls_->setHeaderLabels({QStringLiteral("日期"), QStringLiteral("时间"), QStringLiteral("事项"), QStringLiteral("答复")});
    // Date and time as wide as they are; the notes share the rest of the
    // narrow panel, each whole in its tooltip.
    QHeaderView* header = calls_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    header->setSectionResizeMode(3, QHeaderView::Stretch);
    calls_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(title_);
    layout->addWidget(calls_, 1);
    clear();
}

void EarlierCallsPanel::showHistory(const CallHistory& history, const QString& heading)
{
    title_->setText((heading.isEmpty() ? callOrdinalText(history.count) : heading) +
                    (history.count > history.calls.size()
                         ? QStringLiteral("（显示最近 %1 次）").arg(history.calls.size())
                         : QString()));
    calls_->clear();
    QList<QTreeWidgetItem*> items;
    for (const EarlierCall& c : history.calls) {
        auto* item = new QTreeWidgetItem({c.date, c.time, c.matter, c.reply});
        item->setToolTip(2, c.matter);
        item->setToolTip(3, c.reply);
        items << item;
    }
    calls_->addTopLevelItems(items);
}

void EarlierCallsPanel::clear()
{
    title_->setText(QStringLiteral("以前的来电"));
    calls_->clear();
}

QString EarlierCallsPanel::title() const { return title_->text(); }

int EarlierCallsPanel::rowsShown() const { return calls_->topLevelItemCount(); }

QStringList EarlierCallsPanel::row(int i) const
{
    const QTreeWidgetItem* item = calls_->topLevelItem(i);
    QStringList out;
    if (item)
        for (int c = 0; c < 4; ++c)
            out << item->text(c);
    return out;
}
