#pragma once
// The web tabs: the search for the caller's number in tabs 1 to 3 and what
// happens when another tab comes to the front.

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class Browser;
class DataSource;
class QTabWidget;
class QWidget;
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

// The controls and services the tab handling works with.
struct WebTabParts {
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet5 = nullptr;
    QWidget* TabSheet6 = nullptr;
    Browser* WebBrowser1 = nullptr;
    Browser* WebBrowser2 = nullptr;
    Browser* WebBrowser3 = nullptr;
    Browser* webgd01 = nullptr;
    Browser* webgd02 = nullptr;
    Browser* webgd03 = nullptr;
    Browser* webgd04 = nullptr;
    Browser* webgd05 = nullptr;
    DataModule* dm = nullptr;
    std::function<void(DataSource*)> setDatasource;  // binds the card
    std::function<void(int)> Set_Buy_Data;            // the card's mode
};

// The tab control's handling, owned by the main window.  Tabs brought to the
// front by the program (showTabQuietly) do not run PageControl1Change; the
// operator's picks do.
class WebTabs : public QObject {
    Q_OBJECT
public:
    WebTabs(const WebTabParts& parts, QObject* parent);

    // Searches the number on the three engines: tab 1 as soon as the event
    // loop is free, tabs 2 and 3 each 200 ms after the one before.  A new
    // search replaces the steps still due of the one before.
    void Search_Tel_Web(const QString& number);
    bool searchPending() const { return searchTimer_.isActive(); }
    // Runs at once the steps still due (used before a restore reloads the
    // browsers, and by tests).
    void finishSearch();

    // The tab now in front: card source, side page and card mode.
    void PageControl1Change();
    // Brings a tab to the front without PageControl1Change.
    void showTabQuietly(QWidget* tab);

private:
    void searchStep();

    WebTabParts p_;
    bool quiet_ = false;
    QTimer searchTimer_;
    QString searchNumber_;
    int searchNext_ = 0;  // next engine, 0 to 2
};
