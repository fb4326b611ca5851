#include "ui/calls/outgoingcallswindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/calls/phoneline.h"

OutgoingCallsWindow::OutgoingCallsWindow(DataModule& dm, PhoneLine& line, QWidget* owner)
    : QDialog(owner), line_(line)
{
    setWindowTitle(QStringLiteral("去电记录"));
    setFont(songti(12));
    resize(560, 380);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("outgoingTable"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("电话号码"), QStringLiteral("联系人"), QStringLiteral("公司名称")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();

    auto* again = new QPushButton(QStringLiteral("拨号"), this);
    again->setObjectName(QStringLiteral("dialAgainButton"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(again);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(table_);
    column->addLayout(buttons);

    guarded([&] { calls_ = outgoingCalls(dm.connection.database(), kLongestList); });
    table_->setRowCount(int(calls_.size()));
    for (int row = 0; row < calls_.size(); ++row) {
        const OutgoingCall& c = calls_.at(row);
        const QStringList cells{c.when.toString(QStringLiteral("yyyy-M-d H:mm:ss")), c.number, c.contact, c.company};
        for (int col = 0; col < cells.size(); ++col)
            table_->setItem(row, col, new QTableWidgetItem(cells.at(col)));
    }
    table_->resizeColumnsToContents();
    if (!calls_.isEmpty())
        table_->selectRow(0);

    connect(again, &QPushButton::clicked, this, [this] {
        const int row = table_->currentRow();
        if (row >= 0 && row < calls_.size())
            line_.dial(calls_.at(row).number, calls_.at(row).contact, calls_.at(row).company);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    again->setEnabled(line_.canDial());
    connect(&line_, &PhoneLine::dialChanged, again, &QWidget::setEnabled);
}
