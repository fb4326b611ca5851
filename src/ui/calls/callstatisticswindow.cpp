#include "ui/calls/callstatisticswindow.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QFont>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QValueAxis>
#include <memory>
#include <numeric>

#include "data/app/backgroundwork.h"
#include "data/app/connection.h"
#include "rules/app/errorreport.h"
#include "rules/transfer/exportfile.h"
#include "ui/app/workwindow.h"

namespace {

using BarSets = QList<QPair<QString, QVector<qint64>>>;

// A bar a value (side by side for several sets, with a legend); below them
// the categories, upright, or (without categories: the hours of the day) a
// scale marked every third bar.
QChart* barChart(const QString& title, const QStringList& categories, const BarSets& sets)
{
    auto* series = new QBarSeries;
    qint64 top = 1;
    for (const auto& [name, values] : sets) {
        auto* set = new QBarSet(name);
        for (qint64 v : values) {
            *set << double(v);
            top = std::max(top, v);
        }
        series->append(set);
    }
    const QVector<qint64> values = sets.value(0).second;
    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(title);
    chart->legend()->setVisible(sets.size() > 1);
    QAbstractAxis* x = nullptr;
    if (!categories.isEmpty()) {
        auto* named = new QBarCategoryAxis;
        named->append(categories);
        named->setLabelsAngle(-90);
        x = named;
    } else {
        auto* scale = new QValueAxis;
        scale->setRange(-0.5, double(values.size()) - 0.5);
        scale->setTickType(QValueAxis::TicksDynamic);
        scale->setTickAnchor(0);
        scale->setTickInterval(3);
        scale->setLabelFormat(QStringLiteral("%d"));
        scale->setGridLineVisible(false);
        x = scale;
    }
    QFont small = x->labelsFont();
    small.setPixelSize(10);
    x->setLabelsFont(small);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis;
    y->setRange(0, double(top));
    y->setLabelFormat(QStringLiteral("%d"));
    // Whole numbers on the ticks: one a call while there are few.
    if (top <= 10)
        y->setTickCount(int(top) + 1);
    else
        y->applyNiceNumbers();
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    return chart;
}

qint64 sum(const QVector<qint64>& values) { return std::accumulate(values.begin(), values.end(), qint64(0)); }

}  // namespace

CallStatisticsWindow::CallStatisticsWindow(Connection* connection,
                                           std::function<QString(const QString&)> customerOf, QWidget* parent)
    : QDialog(parent), connection_(connection), customerOf_(std::move(customerOf))
{
    setObjectName(QStringLiteral("callStatisticsWindow"));
    setWindowTitle(QStringLiteral("来电统计"));
    resize(900, 640);
    firstDay_ = new QDateEdit(this);
    lastDay_ = new QDateEdit(this);
    for (QDateEdit* e : {firstDay_, lastDay_}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-M-d"));
    }
    computeButton_ = new QPushButton(QStringLiteral("统计"), this);
    computeButton_->setObjectName(QStringLiteral("computeButton"));
    exportButton_ = new QPushButton(QStringLiteral("导出"), this);
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summary"));
    perDay_ = new QChartView(this);
    perHour_ = new QChartView(this);
    frequent_ = new QTreeWidget(this);
    frequent_->setRootIsDecorated(false);
    frequent_->setHeaderLabels({QStringLiteral("号码"), QStringLiteral("来电次数"), QStringLiteral("客户")});

    auto* range = new QHBoxLayout;
    range->addWidget(new QLabel(QStringLiteral("从"), this));
    range->addWidget(firstDay_);
    range->addWidget(new QLabel(QStringLiteral("到"), this));
    range->addWidget(lastDay_);
    range->addWidget(computeButton_);
    range->addWidget(exportButton_);
    range->addStretch(1);
    auto* grid = new QGridLayout(this);
    grid->addLayout(range, 0, 0, 1, 2);
    grid->addWidget(summary_, 1, 0, 1, 2);
    grid->addWidget(perDay_, 2, 0, 1, 2);
    grid->addWidget(perHour_, 3, 0);
    grid->addWidget(frequent_, 3, 1);
    // The hours want room for their 24 labels; the list's names are elided.
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    connect(computeButton_, &QPushButton::clicked, this, &CallStatisticsWindow::compute);
    connect(exportButton_, &QPushButton::clicked, this, &CallStatisticsWindow::chooseExportFile);
    exportButton_->setEnabled(false);
    const QDate today = QDate::currentDate();
    setRange(today.addDays(-29), today);
}

void CallStatisticsWindow::setRange(const QDate& first, const QDate& last)
{
    firstDay_->setDate(first);
    lastDay_->setDate(last);
}

void CallStatisticsWindow::compute()
{
    if (computing_ || refuseWhileWorking(this))
        return;
    const QDate first = firstDay_->date(), last = lastDay_->date();
    if (last < first) {
        errorreport::report(QStringLiteral("统计的结束日期早于开始日期，请重新选择日期。"));
        return;
    }
    computing_ = true;
    computeButton_->setEnabled(false);
    auto result = std::make_shared<CallStatistics>();
    auto kinds = std::make_shared<QVector<CallKinds>>();
    auto* work = new BackgroundWork(connection_, QStringLiteral("来电统计"), BackgroundWork::Access::Read,
                                    [result, kinds, first, last](WorkContext& c) {
                                        *result = callStatistics(c.db(), first, last, 20,
                                                                 [&c] { return c.stopRequested(); });
                                        c.checkStop();
                                        *kinds = callKindsPerDay(c.db(), first, last);
                                    });
    work_ = work;
    // The window may be closed (and gone) before the figures come.
    QPointer<CallStatisticsWindow> self(this);
    runWork(work, this, [self, result, kinds](const WorkOutcome& outcome) {
        if (!self)
            return;
        self->kinds_ = *kinds;
        self->finishComputing(outcome, *result);
    });
}

CallStatisticsWindow::~CallStatisticsWindow()
{
    if (work_)
        work_->stop();
}

void CallStatisticsWindow::finishComputing(const WorkOutcome& outcome, const CallStatistics& result)
{
    computing_ = false;
    computeButton_->setEnabled(true);
    if (outcome.ok) {
        stats_ = result;
        showStatistics();
    } else if (!outcome.stopped) {
        errorreport::report(QStringLiteral("来电统计没有完成：") + outcome.error);
    }
    emit computed();
}

void CallStatisticsWindow::showStatistics()
{
    summary_->setText(QStringLiteral("共 %1 次来电：老客户 %2 次，新客户 %3 次。")
                          .arg(QString::number(stats_.total), QString::number(stats_.known),
                               QString::number(stats_.fresh())));
    QVector<qint64> answered, missed, outgoing;
    for (const CallKinds& k : kinds_) {
        answered << k.answered();
        missed << k.missed;
        outgoing << k.outgoing;
    }
    summary_->setText(summary_->text() + QStringLiteral("接听 ") + QString::number(sum(answered)) +
                      QStringLiteral(" 次，未接 ") + QString::number(sum(missed)) + QStringLiteral(" 次；去电 ") +
                      QString::number(sum(outgoing)) + QStringLiteral(" 次。"));
    QStringList days;
    for (QDate d = stats_.first; d.isValid() && d <= stats_.last; d = d.addDays(1))
        days << d.toString(QStringLiteral("M-d"));
    std::unique_ptr<QChart> old(perDay_->chart());
    perDay_->setChart(barChart(QStringLiteral("每天来电"), days,
                               kinds_.size() == days.size()
                                   ? BarSets{{QStringLiteral("接听"), answered},
                                             {QStringLiteral("未接"), missed},
                                             {QStringLiteral("去电"), outgoing}}
                                   : BarSets{{QStringLiteral("每天来电"), stats_.perDay}}));
    std::unique_ptr<QChart> oldHour(perHour_->chart());
    perHour_->setChart(barChart(QStringLiteral("各时段来电"), {}, {{QStringLiteral("各时段来电"), stats_.perHour}}));
    frequent_->clear();
    frequentCustomers_.clear();
    for (const NumberCount& n : stats_.frequentNumbers) {
        frequentCustomers_ << (customerOf_ ? customerOf_(n.number) : QString());
        frequent_->addTopLevelItem(new QTreeWidgetItem({n.number, QString::number(n.calls), frequentCustomers_.last()}));
    }
    exportButton_->setEnabled(true);
}

bool CallStatisticsWindow::exportTo(const QString& path, QString* error) const
{
    const QString temporary = exportfile::temporaryBeside(path, error);
    if (temporary.isEmpty())
        return false;
    auto writer = exportfile::makeWriter(exportfile::Format::Xlsx);
    if (!writer->open(temporary, error))
        return false;
    writer->beginSheet(QStringLiteral("每天来电"), {QStringLiteral("日期"), QStringLiteral("来电次数")});
    for (qsizetype i = 0; i < stats_.perDay.size(); ++i)
        writer->addRow({stats_.first.addDays(i).toString(QStringLiteral("yyyy-M-d")), QString::number(stats_.perDay[i])});
    writer->beginSheet(QStringLiteral("各时段来电"), {QStringLiteral("时"), QStringLiteral("来电次数")});
    for (int h = 0; h < stats_.perHour.size(); ++h)
        writer->addRow({QString::number(h), QString::number(stats_.perHour[h])});
    writer->beginSheet(QStringLiteral("常来电号码"), {QStringLiteral("号码"), QStringLiteral("来电次数"), QStringLiteral("客户")});
    for (qsizetype i = 0; i < stats_.frequentNumbers.size(); ++i)
        writer->addRow({stats_.frequentNumbers[i].number, QString::number(stats_.frequentNumbers[i].calls),
                        frequentCustomers_.value(i)});
    writer->beginSheet(QStringLiteral("新老客户"), {QStringLiteral("来电"), QStringLiteral("次数")});
    writer->addRow({QStringLiteral("老客户来电"), QString::number(stats_.known)});
    writer->addRow({QStringLiteral("新客户来电"), QString::number(stats_.fresh())});
    writer->beginSheet(QStringLiteral("接听未接去电"), {QStringLiteral("日期"), QStringLiteral("接听"), QStringLiteral("未接"),
                                                  QStringLiteral("去电")});
    for (qsizetype i = 0; i < kinds_.size(); ++i)
        writer->addRow({stats_.first.addDays(i).toString(QStringLiteral("yyyy-M-d")), QString::number(kinds_[i].answered()),
                        QString::number(kinds_[i].missed), QString::number(kinds_[i].outgoing)});
    if (!writer->finish(error))
        return false;
    return exportfile::moveIntoPlace(temporary, path, error);
}

void CallStatisticsWindow::chooseExportFile()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("导出来电统计"), QString(),
                                                      QStringLiteral("Excel工作簿(*.xlsx)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive) ? path : path + QStringLiteral(".xlsx"),
                  &error))
        errorreport::report(error);
}
