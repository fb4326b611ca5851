#pragma once
// The panel beside a call: this number's earlier calls, newest first, with
// what was noted on them (事项, 答复), under "第 N 次来电".

#include <QWidget>

#include "data/numbers/callhistory.h"

class QLabel;
class QTreeWidget;

class EarlierCallsPanel : public QWidget {
    Q_OBJECT
public:
    explicit EarlierCallsPanel(QWidget* parent = nullptr);

    // Shows the history of the call on screen (`history.count` calls before
    // it) under "第 N 次来电", or under `heading` when one is given.
    void showHistory(const CallHistory& history, const QString& heading = {});
    // Nothing to show (no call on screen).
    void clear();

    // What the panel shows, for tests and the window's own checks.
    QString title() const;
    int rowsShown() const;
    QStringList row(int i) const;

private:
    QLabel* title_;
    QTreeWidget* calls_;
};
