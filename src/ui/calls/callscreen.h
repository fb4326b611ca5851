#pragma once
// What the call handling asks of the window that shows the calls.

#include <QString>
#include <QtGlobal>

#include "ui/web/tabscreen.h"

class DataSource;

class CallScreen {
public:
    // The number field: its text, and a number put in without handling it.
    virtual QString number() const = 0;
    virtual void showNumber(const QString& number) = 0;
    // "老客户来电" / "新客户来电", blinking.
    virtual void announce(const QString& text) = 0;
    // A line of the line status box.
    virtual void appendLineStatus(const QString& line) = 0;
    // Where the calling number belongs (号码归属地; empty when unknown),
    // shown beside the announcement and in the line status box.
    virtual void showRegion(const QString& number, const QString& region) = 0;
    // The data the customer card shows.
    virtual void setCardSource(DataSource* source) = 0;
    // The web search of the number in the first three tabs.
    virtual void searchWeb(const QString& number) = 0;
    // Brings a tab to the front without the operator's tab change running.
    virtual void showTabQuietly(WebTab tab) = 0;
    // The side page beside the customer list.
    virtual void showCustomerSidePage(const QString& address) = 0;
    // The call announced last is in the call log under this key.
    virtual void callLogged(qint64 key) { Q_UNUSED(key); }
    // A line of the status bar's message panel.
    virtual void sayInStatusBar(const QString& text) { Q_UNUSED(text); }

protected:
    ~CallScreen() = default;
};
