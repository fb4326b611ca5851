#pragma once
// 去电记录: the desk's outgoing calls, newest first, with the names they were
// dialled with; 拨号 dials the chosen number again.

#include <QDialog>
#include <QList>

#include "data/calls/callkinds.h"

class DataModule;
class PhoneLine;
class QTableWidget;

class OutgoingCallsWindow : public QDialog {
    Q_OBJECT
public:
    // Its controls: "outgoingTable", "dialAgainButton" and "closeButton".
    OutgoingCallsWindow(DataModule& dm, PhoneLine& line, QWidget* owner = nullptr);

    static constexpr int kLongestList = 200;
    const QList<OutgoingCall>& calls() const { return calls_; }

private:
    PhoneLine& line_;
    QList<OutgoingCall> calls_;
    QTableWidget* table_;
};
