#include "callerid/callhandling.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/errorreport.h"
#include "app/randomgen.h"
#include "app/statementtext.h"
#include "app/tmain.h"
#include "callerid/device.h"
#include "db/datam.h"
#include "web/addresses.h"
#include "web/browser.h"
#include "web/websearch.h"

const QString knownCallerText = QStringLiteral("老客户来电");
const QString newCallerText = QStringLiteral("新客户来电");

QString localNumber(const QString& number)
{
    if (!number.startsWith(QLatin1Char('0')))
        return number;
    const bool shortCode = number.size() < 2 || number.at(1) <= QLatin1Char('2');
    return number.mid(shortCode ? 3 : 4);
}

QStringList lookupStatementLines(const QString& local)
{
    const QString pattern = QLatin1String("'%") + quotedValue(local) + QLatin1String("%'");
    return {QStringLiteral("select * from 客户数据"),
            QStringLiteral("where 手机 like ") + pattern,
            QStringLiteral("or 电话 like ") + pattern,
            QStringLiteral("or 宅电 like ") + pattern};
}

CallRecord callRecord(const QString& number, const QDateTime& when)
{
    CallRecord r;
    if (number.startsWith(QLatin1Char('1')))
        r.shouji = number;
    else
        r.dianhua = number;
    r.riqi = when.date().toString(QStringLiteral("yyyy-M-d"));
    r.shijian = when.time().toString(QStringLiteral("H:mm:ss"));
    return r;
}

QColor blinkColour(const QColor& current, const QColor& background)
{
    const QColor red(Qt::red);
    return current.rgba() == red.rgba() ? background : red;
}

CallHandling::CallHandling(Tmain& w) : QObject(&w), w_(w)
{
    CallerIdDevice* box = w_.UsbPhoneBox;
    connect(box, &CallerIdDevice::comingCall, this, &CallHandling::UsbPhoneBoxCtrl1ComingCall);
    connect(box, &CallerIdDevice::ring, this, &CallHandling::UsbPhoneBoxCtrl1Ring);
    connect(box, &CallerIdDevice::phoneHandoff, this, &CallHandling::UsbPhoneBoxCtrl1PhoneHandoff);
    connect(w_.TelBuffer, &QLineEdit::returnPressed, this, &CallHandling::TelBufferEnter);
    connect(w_.Timer2, &QTimer::timeout, this, &CallHandling::Timer2Timer);
}

void CallHandling::setNumber(const QString& number)
{
    if (w_.TelBuffer->text() != number)
        w_.TelBuffer->setText(number);
    if (number == handled_)
        return;
    handled_ = number;
    TelBufferChange();
}

void CallHandling::TelBufferEnter()
{
    const QString number = w_.TelBuffer->text();
    if (number.isEmpty() || number == handled_)
        return;
    handled_ = number;
    TelBufferChange();
}

void CallHandling::UsbPhoneBoxCtrl1ComingCall(int, const QDateTime&, const QString& callNumber,
                                              const QString&)
{
    setNumber(callNumber);
}

void CallHandling::UsbPhoneBoxCtrl1Ring(int deviceId)
{
    w_.TelStatus->appendPlainText(QStringLiteral("设备：%1 电话振铃...").arg(deviceId));
}

void CallHandling::UsbPhoneBoxCtrl1PhoneHandoff(int deviceId)
{
    w_.TelStatus->appendPlainText(QStringLiteral("设备：%1 电话挂机...").arg(deviceId));
}

void CallHandling::TelBufferChange()
{
    guarded([this] {
        w_.webTabs->Search_Tel_Web();
        w_.setDatasource(&w_.dm().laidiands);
        Add_LaiDianData();
        w_.webTabs->showTabQuietly(w_.TabSheet1);
        TelBufferChange1();
    });
}

void CallHandling::Add_LaiDianData()
{
    const QString number = w_.TelBuffer->text();
    if (number.isEmpty())
        return;
    const CallRecord r = callRecord(number, QDateTime::currentDateTime());
    DataSet& calls = w_.dm().laidianTel;
    calls.append();
    calls.setValue(QStringLiteral("电话"), r.dianhua);
    calls.setValue(QStringLiteral("手机"), r.shouji);
    calls.setValue(QStringLiteral("日期"), r.riqi);
    calls.setValue(QStringLiteral("时间"), r.shijian);
    // Stored at once: the record is on disk before the caller is announced.
    calls.post();
}

void CallHandling::TelBufferChange1()
{
    const QString number = w_.TelBuffer->text();
    if (number.isEmpty())
        return;
    TDataModule1& dm = w_.dm();
    const QString sql = composeStatement(w_.Memo1, lookupStatementLines(localNumber(number)));
    dm.s1.close();
    dm.s1.setCommandText(sql);
    dm.s1.open();
    if (dm.s1.recordCount() < 1) {
        // A new caller: the card stays on the new call record.
        announce(newCallerText);
        return;
    }
    dm.kehutable.close();
    dm.kehutable.setCommandText(sql);
    dm.kehutable.open();
    w_.setDatasource(&dm.kehuds);
    w_.webTabs->showTabQuietly(w_.TabSheet4);
    w_.webgd04->navigate(webaddr::callerSidePage(programRandom().below(10)));
    announce(knownCallerText);
}

void CallHandling::announce(const QString& text)
{
    blinkCounter_ = 0;
    w_.Timer2->stop();
    w_.Timer2->start();
    w_.shantext->setText(text);
    w_.shantext->repaint();
}

void CallHandling::Timer2Timer()
{
    ++blinkCounter_;
    QPalette p = w_.shantext->palette();
    p.setColor(QPalette::WindowText,
               blinkColour(p.color(QPalette::WindowText), w_.palette().color(QPalette::Window)));
    w_.shantext->setPalette(p);
    w_.shantext->repaint();
    if (blinkCounter_ == kBlinkTicks)
        w_.Timer2->stop();
}
