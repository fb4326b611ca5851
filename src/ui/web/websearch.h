#pragma once
// The web tabs: the search for the caller's number in tabs 1 to 3 and what
// happens when another tab comes to the front.

#include <QObject>
#include <QString>
#include <QTimer>

#include "ui/web/tabscreen.h"

class DataModule;

namespace websearch {

// Query texts of the three engines; the number follows each, percent-encoded
// (a number of digits reads the same).
extern const QString googleQuery;
extern const QString yahooQuery;
extern const QString baiduQuery;

QString googleAddress(const QString& number);
QString yahooAddress(const QString& number);
QString baiduAddress(const QString& number);

// Captions tabs 1 to 3 take at the first search.
extern const QString googleCaption;
extern const QString yahooCaption;
extern const QString baiduCaption;

// Number of side pages: a side page is drawn below this.
constexpr int kSidePages = 27316;

// Spacing of the three searches of one number.
constexpr int kSearchSpacing = 200;

}  // namespace websearch

// The tab control's handling, owned by the main window.  The window runs
// onTabChanged() when the operator brings another tab to the front (not when
// the program does).
class WebTabs : public QObject {
    Q_OBJECT
public:
    WebTabs(DataModule& dm, TabScreen& screen, QObject* parent);

    // Searches the number on the three engines: tab 1 as soon as the event
    // loop is free, tabs 2 and 3 each 200 ms after the one before.  A new
    // search replaces the steps still due of the one before.
    void searchNumber(const QString& number);
    // Runs at once the steps still due (used before a restore reloads the
    // browsers, and by tests).
    void finishSearch();

    // The tab now in front: card source, side page and card mode.
    void onTabChanged();

private:
    void searchStep();

    DataModule& dm_;
    TabScreen& screen_;
    QTimer searchTimer_;
    QString searchNumber_;
    int searchNext_ = 0;  // next engine, 0 to 2
};
