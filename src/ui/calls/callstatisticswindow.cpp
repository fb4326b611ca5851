#include "ui/calls/callstatisticswindow.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QDateEdit>
#include <QFont>
#include <QDir>
#include <QFile>
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

#include "data/work/backgroundwork.h"
#include "data/connection/connection.h"
#include "rules/errors/errorreport.h"
#include "rules/formats/exportfile.h"
#include "ui/kit/message.h"
#include "ui/kit/workwindow.h"

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

// The bars over time: their title, the label of a period on the chart and
// in the workbook, and the workbook's column.
struct UnitWords {
    QString title, shortForm, fullForm, column, said;
};

UnitWords wordsOf(StatisticsUnit unit)
{
    switch (unit) {
    case StatisticsUnit::Day:
        return {QStringLiteral("每天来电"), QStringLiteral("M-d"), QStringLiteral("yyyy-M-d"), QStringLiteral("日期"),
                QString()};
    case StatisticsUnit::Month:
        return {QStringLiteral("每月来电"), QStringLiteral("yyyy-M"), QStringLiteral("yyyy-M"), QStringLiteral("月份"),
                QStringLiteral("范围较长，按月统计。")};
    case StatisticsUnit::Year:
        break;
    }
    return {QStringLiteral("每年来电"), QStringLiteral("yyyy"), QStringLiteral("yyyy"), QStringLiteral("年份"),
            QStringLiteral("范围较长，按年统计。")};
}
qint64 sum(const QVector<qint64>& values) { return std::accumulate(values.begin(), values.end(), qint64(0)); }

}  // namespace

CallStatisticsWindow::CallStatisticsWindow(Connection* connection, QWidget* parent)
    : QDialog(parent), connection_(connection)
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
    // On a server: which one the figures were read from (a standby, and how
    // far behind it was).
    readFrom_ = new QLabel(this);
    readFrom_->setObjectName(QStringLiteral("readFrom"));
    grid->addWidget(readFrom_, 4, 0, 1, 2);
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
    askedFirst_ = first;
    askedLast_ = last;
    auto result = std::make_shared<CallStatistics>();
    auto place = std::make_shared<ReadingPlace>();
    auto kinds = std::make_shared<QVector<CallKinds>>();
    auto customers = std::make_shared<QStringList>();
    const bool numberIndex = connection_->hasNumberIndex();
    auto* work = new BackgroundWork(connection_, QStringLiteral("来电统计"), BackgroundWork::Access::Read,
                                    [result, place, kinds, customers, numberIndex, first, last](WorkContext& c) {
                                        const auto stop = [&c] { return c.stopRequested(); };
                                        // The customers of the frequent numbers are looked up
                                        // beside the counting, on a connection of their own.
                                        std::future<QStringList> lookups;
                                        const auto lookUp = [&](const QList<NumberCount>& numbers) {
                                            lookups = customersOfNumbersAside(c.location(), numberIndex, numbers);
                                        };
                                        // A server's report reads from its standby where it has one.
                                        *result = c.location().isServer()
                                                      ? callStatisticsForReport(c.location(), first, last, 20, stop,
                                                                                place.get(), lookUp)
                                                      : callStatistics(c.db(), first, last, 20, stop, lookUp);
                                        c.checkStop();
                                        // Day by day only where the figures are (a long
                                        // range is counted by the month or the year).
                                        if (result->unit == StatisticsUnit::Day)
                                            *kinds = callKindsPerDay(c.db(), result->first, result->last);
                                        c.checkStop();
                                        if (lookups.valid())
                                            *customers = lookups.get();
                                    });
    connect(work, &BackgroundWork::finished, this, [this, place] { readFrom_->setText(readingPlaceText(*place)); });
    work_ = work;
    // The window may be closed (and gone) before the figures come.
    QPointer<CallStatisticsWindow> self(this);
    runWork(work, this, [self, result, kinds, customers](const WorkOutcome& outcome) {
        if (!self)
            return;
        self->kinds_ = *kinds;
        self->finishComputing(outcome, *result, *customers);
    });
}

CallStatisticsWindow::~CallStatisticsWindow()
{
    if (work_)
        work_->stop();
}

void CallStatisticsWindow::finishComputing(const WorkOutcome& outcome, const CallStatistics& result,
                                           const QStringList& customers)
{
    computing_ = false;
    computeButton_->setEnabled(true);
    if (outcome.ok) {
        stats_ = result;
        frequentCustomers_ = customers;
        showStatistics();
    } else if (!outcome.stopped) {
        errorreport::report(QStringLiteral("来电统计没有完成：") + outcome.error);
    }
    emit computed();
}

void CallStatisticsWindow::showStatistics()
{
    const UnitWords words = wordsOf(stats_.unit);
    QString said = QStringLiteral("共 ") + QString::number(stats_.total) + QStringLiteral(" 次来电：老客户 ") +
                   QString::number(stats_.known) + QStringLiteral(" 次，新客户 ") + QString::number(stats_.fresh()) +
                   QStringLiteral(" 次。");
    // A long range is narrowed to the days with calls: said, with the unit.
    const bool narrowed = stats_.first != askedFirst_ || stats_.last != askedLast_;
    if (narrowed || !words.said.isEmpty())
        said += QStringLiteral("（") +
                (narrowed ? QStringLiteral("有来电的日期：") + stats_.first.toString(QStringLiteral("yyyy-M-d")) +
                                QStringLiteral(" 至 ") + stats_.last.toString(QStringLiteral("yyyy-M-d")) +
                                (words.said.isEmpty() ? QString() : QStringLiteral("，"))
                          : QString()) +
                words.said + QStringLiteral("）");
    summary_->setText(said);
    QStringList periods;
    for (qsizetype i = 0; i < stats_.perPeriod.size(); ++i)
        periods << stats_.periodStart(i).toString(words.shortForm);
    BarSets bars{{words.title, stats_.perPeriod}};
    // Answered, missed and outgoing calls, when counted by the day.
    if (kinds_.size() == stats_.perPeriod.size() && stats_.unit == StatisticsUnit::Day) {
        QVector<qint64> answered, missed, outgoing;
        for (const CallKinds& k : kinds_) {
            answered << k.answered();
            missed << k.missed;
            outgoing << k.outgoing;
        }
        summary_->setText(summary_->text() + QStringLiteral("接听 ") + QString::number(sum(answered)) +
                          QStringLiteral(" 次，未接 ") + QString::number(sum(missed)) + QStringLiteral(" 次；去电 ") +
                          QString::number(sum(outgoing)) + QStringLiteral(" 次。"));
        bars = {{QStringLiteral("接听"), answered}, {QStringLiteral("未接"), missed}, {QStringLiteral("去电"), outgoing}};
    }
    std::unique_ptr<QChart> old(perDay_->chart());
    perDay_->setChart(barChart(words.title, periods, bars));
    std::unique_ptr<QChart> oldHour(perHour_->chart());
    perHour_->setChart(barChart(QStringLiteral("各时段来电"), {}, {{QStringLiteral("各时段来电"), stats_.perHour}}));
    frequent_->clear();
    for (qsizetype i = 0; i < stats_.frequentNumbers.size(); ++i) {
        const NumberCount& n = stats_.frequentNumbers[i];
        frequent_->addTopLevelItem(new QTreeWidgetItem({n.number, QString::number(n.calls), frequentCustomers_.value(i)}));
    }
    exportButton_->setEnabled(true);
}

bool CallStatisticsWindow::exportTo(const QString& path, QString* error) const
{
    const QString temporary = exportfile::temporaryBeside(path, error);
    if (temporary.isEmpty())
        return false;
    // The kind of file the name says: a workbook of four sheets, or one
    // .csv table holding the four parts one after the other.
    const exportfile::Format format = exportfile::formatOf(path);
    auto writer = exportfile::makeWriter(format);
    if (!writer->open(temporary, error)) {
        QFile::remove(temporary);
        return false;
    }
    bool firstPart = true;
    auto part = [&](const QString& name, const QStringList& header) {
        if (format != exportfile::Format::Csv) {
            writer->beginSheet(name, header);
        } else {
            writer->beginSheet(name, {});
            if (!firstPart)
                writer->addRow({});
            writer->addRow({name});
            writer->addRow(header);
        }
        firstPart = false;
    };
    const UnitWords words = wordsOf(stats_.unit);
    part(words.title, {words.column, QStringLiteral("来电次数")});
    for (qsizetype i = 0; i < stats_.perPeriod.size(); ++i)
        writer->addRow({stats_.periodStart(i).toString(words.fullForm), QString::number(stats_.perPeriod[i])});
    part(QStringLiteral("各时段来电"), {QStringLiteral("时"), QStringLiteral("来电次数")});
    for (int h = 0; h < stats_.perHour.size(); ++h)
        writer->addRow({QString::number(h), QString::number(stats_.perHour[h])});
    part(QStringLiteral("常来电号码"), {QStringLiteral("号码"), QStringLiteral("来电次数"), QStringLiteral("客户")});
    for (qsizetype i = 0; i < stats_.frequentNumbers.size(); ++i)
        writer->addRow({stats_.frequentNumbers[i].number, QString::number(stats_.frequentNumbers[i].calls),
                        frequentCustomers_.value(i)});
    part(QStringLiteral("新老客户"), {QStringLiteral("来电"), QStringLiteral("次数")});
    writer->addRow({QStringLiteral("老客户来电"), QString::number(stats_.known)});
    writer->addRow({QStringLiteral("新客户来电"), QString::number(stats_.fresh())});
    if (stats_.unit == StatisticsUnit::Day) {
        part(QStringLiteral("接听未接去电"),
             {QStringLiteral("日期"), QStringLiteral("接听"), QStringLiteral("未接"), QStringLiteral("去电")});
        for (qsizetype i = 0; i < kinds_.size(); ++i)
            writer->addRow({stats_.first.addDays(i).toString(QStringLiteral("yyyy-M-d")),
                            QString::number(kinds_[i].answered()), QString::number(kinds_[i].missed),
                            QString::number(kinds_[i].outgoing)});
    }
    if (!writer->finish(error)) {
        QFile::remove(temporary);
        return false;
    }
    return exportfile::moveIntoPlace(temporary, path, error);
}

// The name chosen for the statistics' file with the extension that decides
// its kind: .xlsx, .xls or .csv as the name says, else the chosen filter's.
QString CallStatisticsWindow::exportName(const QString& chosen, const QString& filter)
{
    const exportfile::Format byFilter = filter.contains(QStringLiteral("*.csv"))    ? exportfile::Format::Csv
                                        : filter.contains(QStringLiteral("*.xlsx")) ? exportfile::Format::Xlsx
                                                                                    : exportfile::Format::Xls;
    return exportfile::withExtension(chosen, byFilter);
}

void CallStatisticsWindow::chooseExportFile()
{
    QString filter;
    const QString chosen = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出来电统计"), QString(),
        QStringLiteral("Excel工作簿(*.xlsx);;Excel 97-2003 工作簿(*.xls);;CSV 文本(*.csv)"), &filter);
    if (chosen.isEmpty())
        return;
    const QString path = exportName(chosen, filter);
    QString error;
    if (!exportTo(path, &error))
        errorreport::report(error);
    else
        showMessage(QStringLiteral("来电统计已导出到“") + QDir::toNativeSeparators(path) + QStringLiteral("”。"));
}
