#pragma once
// "来电统计" (menu 数据管理): calls per day (answered, missed and outgoing)
// and per hour of the day as bar charts, the most frequent numbers with the customer where known, known
// and new callers, over a range of days; "导出" writes the figures to an
// .xlsx workbook.  The figures are computed off the window thread on a
// connection of their own.

#include <QDialog>
#include <QPointer>

#include "data/calls/callkinds.h"
#include "data/calls/callstatistics.h"

class BackgroundWork;
class Connection;
struct WorkOutcome;
class QChartView;
class QDateEdit;
class QLabel;
class QPushButton;
class QTreeWidget;

class CallStatisticsWindow : public QDialog {
    Q_OBJECT
public:
    // The customers of the frequent numbers are found by the caller lookup,
    // with the figures.
    explicit CallStatisticsWindow(Connection* connection, QWidget* parent = nullptr);
    // A computation still under way is asked to stop; its outcome is dropped.
    ~CallStatisticsWindow() override;

    void setRange(const QDate& first, const QDate& last);
    // Computes the figures of the range (in the background).
    void compute();
    bool computing() const { return computing_; }
    const CallStatistics& statistics() const { return stats_; }
    // Per day: answered, missed and outgoing calls.
    const QVector<CallKinds>& kinds() const { return kinds_; }
    // Writes the figures to `path` in the kind its extension names (.xlsx,
    // .xls or .csv); false with *error when it cannot.
    bool exportTo(const QString& path, QString* error) const;
    // The file name the export writes for a name chosen with a filter of
    // the save dialog: a name with one of the three extensions is kept.
    static QString exportName(const QString& chosen, const QString& filter);

signals:
    void computed();

private:
    void finishComputing(const WorkOutcome& outcome, const CallStatistics& result, const QStringList& customers);
    void showStatistics();
    void chooseExportFile();

    Connection* connection_;
    QDateEdit* firstDay_;
    QDateEdit* lastDay_;
    QPushButton* computeButton_;
    QPushButton* exportButton_;
    QLabel* summary_;
    QLabel* readFrom_;
    QChartView* perDay_;
    QChartView* perHour_;
    QTreeWidget* frequent_;
    CallStatistics stats_;
    QVector<CallKinds> kinds_;
    QStringList frequentCustomers_;
    bool computing_ = false;
    QDate askedFirst_, askedLast_;  // the range of the last computation
    QPointer<BackgroundWork> work_;
};
