#pragma once
// 未接来电: the calls nobody answered, newest first, with the customer each
// number belongs to and 回拨 to dial the chosen one back.  Opening the list
// counts as looking at it: the unseen count goes to nought (the rows that
// were unseen are shown in bold this once).

#include <QDialog>
#include <QList>
#include <QPair>

#include "data/calls/callkinds.h"

class DataModule;
class PhoneLine;
class QPushButton;
class QTableWidget;

class MissedCallsWindow : public QDialog {
    Q_OBJECT
public:
    // Its controls: "missedTable", "callBackButton" and "closeButton".
    MissedCallsWindow(DataModule& dm, PhoneLine& line, QWidget* owner = nullptr);

    static constexpr int kLongestList = 200;
    const QList<MissedCall>& calls() const { return calls_; }
    // 回拨 on the chosen row; false when nothing was dialled.
    bool callBack();

private:
    void fill();
    // The customer a number belongs to: 联系人 and 公司名称 (empty when none).
    QPair<QString, QString> customerOf(const QString& number);

    DataModule& dm_;
    PhoneLine& line_;
    QList<MissedCall> calls_;
    QList<QPair<QString, QString>> customers_;  // of each row
    QTableWidget* table_;
    QPushButton* callBackButton_;
};
