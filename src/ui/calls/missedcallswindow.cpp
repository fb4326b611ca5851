#include "ui/calls/missedcallswindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QVBoxLayout>

#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "rules/calls/callrules.h"
#include "ui/kit/look.h"
#include "ui/calls/phoneline.h"

MissedCallsWindow::MissedCallsWindow(DataModule& dm, PhoneLine& line, QWidget* owner)
    : QDialog(owner), dm_(dm), line_(line)
{
    setWindowTitle(QStringLiteral("未接来电"));
    setFont(songti(12));
    resize(560, 380);

    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("missedTable"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("时间"), QStringLiteral("电话号码"), QStringLiteral("客户"), QStringLiteral("来电名称")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();

    callBackButton_ = new QPushButton(QStringLiteral("回拨"), this);
    callBackButton_->setObjectName(QStringLiteral("callBackButton"));
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("closeButton"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(callBackButton_);
    buttons->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(table_);
    column->addLayout(buttons);

    connect(callBackButton_, &QPushButton::clicked, this, [this] { callBack(); });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { callBack(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(&line_, &PhoneLine::dialChanged, callBackButton_, &QWidget::setEnabled);

    fill();
    line_.markSeen();
    callBackButton_->setEnabled(line_.canDial());
}

QPair<QString, QString> MissedCallsWindow::customerOf(const QString& number)
{
    if (lookupNumber(number).isEmpty())
        return {};
    QSqlQuery q(dm_.connection.database());
    q.setForwardOnly(true);
    const QString sql =
        dm_.connection.hasNumberIndex() ? indexedLookupStatement(number) : digitsLookupStatement(number);
    if (!q.exec(sql) || !q.next())
        return {};
    return {q.value(QStringLiteral("联系人")).toString(), q.value(QStringLiteral("公司名称")).toString()};
}

void MissedCallsWindow::fill()
{
    guarded([this] { calls_ = missedCalls(dm_.connection.database(), kLongestList); });
    table_->setRowCount(int(calls_.size()));
    for (int row = 0; row < calls_.size(); ++row) {
        const MissedCall& c = calls_.at(row);
        customers_ << customerOf(c.number);
        const QString& contact = customers_.last().first;
        const QString& company = customers_.last().second;
        const QString customer = contact.isEmpty() || company.isEmpty() ? contact + company
                                                                        : contact + QLatin1Char(' ') + company;
        const QStringList cells{c.when.toString(QStringLiteral("yyyy-M-d H:mm:ss")), c.number, customer, c.name};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells.at(col));
            if (!c.seen) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            table_->setItem(row, col, item);
        }
    }
    table_->resizeColumnsToContents();
    if (!calls_.isEmpty())
        table_->selectRow(0);
}

bool MissedCallsWindow::callBack()
{
    const int row = table_->currentRow();
    if (row < 0 || row >= calls_.size())
        return false;
    return line_.dial(calls_.at(row).number, customers_.at(row).first, customers_.at(row).second);
}
