#pragma once
// What happens when a number arrives: the call is logged, the caller looked
// up among the customers and announced in blinking letters; ring and hang-up
// reports become lines of the line status box.

#include <QColor>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QString>
#include <functional>

#include "rules/calls/callrules.h"

class Browser;
class CallerIdDevice;
class DataSource;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QWidget;
class DataModule;
class WebTabs;

// The controls and services the call handling works with; the main window
// hands them over when it creates the handling.
struct CallParts {
    QLineEdit* TelBuffer = nullptr;        // number field
    QLabel* shantext = nullptr;            // announcement
    QPlainTextEdit* TelStatus = nullptr;   // line status box
    QPlainTextEdit* Memo1 = nullptr;       // statement buffer
    QTimer* Timer2 = nullptr;              // blink timer
    QWidget* background = nullptr;         // whose window colour hides the text
    CallerIdDevice* device = nullptr;
    DataModule* dm = nullptr;
    WebTabs* tabs = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet4 = nullptr;          // 客户列表
    Browser* webgd04 = nullptr;
    std::function<void(DataSource*)> setDatasource;  // binds the card
};

// The handling of the number field, owned by the main window.
//
// When a number is a new call:
//  - every Enter in the number field with a number in it (the operator
//    asked for it);
//  - a number from the caller-ID box, unless it is the number the box
//    reported last and the box has not reported a hang-up since (the box
//    repeating itself);
//  - a number of the call simulation that differs from the field's.
// Typing or clearing the field by hand runs nothing.
class CallHandling : public QObject {
    Q_OBJECT
public:
    CallHandling(const CallParts& parts, QObject* parent);

    // The simulation's numbers: handled when they differ from the field's.
    void setNumber(const QString& number);

    // Events of the caller-ID box.
    void UsbPhoneBoxCtrl1ComingCall(int deviceId, const QDateTime& callTime,
                                    const QString& callNumber, const QString& callName);
    void UsbPhoneBoxCtrl1Ring(int deviceId);
    void UsbPhoneBoxCtrl1PhoneHandoff(int deviceId);

    // The handling of one call; errors reach the general error report.
    void TelBufferChange(const QString& number);
    void Add_LaiDianData(const QString& number);
    // Looks the caller up and announces; true for a known customer, whose
    // rows then wait in lookupTable for showKnownCaller().
    bool TelBufferChange1(const QString& number);
    // The customer list shows the matches, the card the first of them.
    void showKnownCaller();

    // Runs at once what is still due of the last call (its log and the
    // known customer follow the announcement in turns of their own).
    void finishPending();
    bool callPending() const { return !pending_.isEmpty(); }

    // The announcement blink.
    void Timer2Timer();
    int blinkCounter() const { return blinkCounter_; }

private:
    void TelBufferEnter();
    void announce(const QString& text);
    void later(std::function<void()> step);
    void nextStep();

    CallParts p_;
    QList<std::function<void()>> pending_;
    QTimer stepTimer_;
    bool hungUp_ = false;  // the box reported a hang-up since its last number
    bool boxReported_ = false;
    QString boxNumber_;    // the number the box reported last
    int blinkCounter_ = 0;
};

// One blink: pure red turns into the background colour, anything else into
// pure red.
QColor blinkColour(const QColor& current, const QColor& background);

// Said when a call arrives while the database is not open.
QString callNotLoggedText(const QString& number);
