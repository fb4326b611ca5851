#pragma once
// What happens when a number arrives: the call is logged, the caller looked
// up among the customers and announced in blinking letters; ring and hang-up
// reports become lines of the line status box.

#include <QColor>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

class Tmain;

// The number without its area code: a number beginning with "0" loses three
// characters when its second is "0", "1" or "2" (or anything not above "2"),
// else four.  Other numbers are kept whole.
QString localNumber(const QString& number);

// The four lines of the caller lookup over 手机, 电话 and 宅电.
QStringList lookupStatementLines(const QString& local);

// Column values of a logged call: the number in 手机 when it begins with
// "1", else in 电话; the date as "yyyy-M-d", the time as "H:mm:ss".
struct CallRecord {
    QString dianhua;  // 电话
    QString shouji;   // 手机
    QString riqi;     // 日期
    QString shijian;  // 时间
};
CallRecord callRecord(const QString& number, const QDateTime& when);

// One blink: pure red turns into the background colour, anything else into
// pure red.
QColor blinkColour(const QColor& current, const QColor& background);
// Ticks in one announcement series.
constexpr int kBlinkTicks = 20;

extern const QString knownCallerText;  // 老客户来电
extern const QString newCallerText;    // 新客户来电

// The handling of the number field, owned by the main window.
//
// The program's own changes of the field (the caller-ID box, the call
// simulation) go through setNumber() and run the handling at once when the
// text differs from the number handled last.  What the operator types runs
// it once, when Enter is pressed in the field; typing or clearing by hand
// runs nothing.
class CallHandling : public QObject {
    Q_OBJECT
public:
    explicit CallHandling(Tmain& w);

    void setNumber(const QString& number);
    const QString& handledNumber() const { return handled_; }

    // Events of the caller-ID box.
    void UsbPhoneBoxCtrl1ComingCall(int deviceId, const QDateTime& callTime,
                                    const QString& callNumber, const QString& callName);
    void UsbPhoneBoxCtrl1Ring(int deviceId);
    void UsbPhoneBoxCtrl1PhoneHandoff(int deviceId);

    // The handling in its five steps; errors reach the general error report.
    void TelBufferChange();
    void Add_LaiDianData();
    void TelBufferChange1();

    // The announcement blink.
    void Timer2Timer();
    int blinkCounter() const { return blinkCounter_; }

private:
    void TelBufferEnter();
    void announce(const QString& text);

    Tmain& w_;
    QString handled_;
    int blinkCounter_ = 0;
};
