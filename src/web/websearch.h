#pragma once
// The web tabs: the search for the caller's number in tabs 1 to 3 and what
// happens when another tab comes to the front.

#include <QObject>
#include <QString>
#include <functional>

class Tmain;
class QWidget;

namespace websearch {

// Query texts of the three engines; the number follows each unchanged.
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

// The pause between two searches: a plain wait on the user-interface thread.
// Tests replace it; an empty function restores the wait.
void setPause(std::function<void(int ms)> pause);
void pause(int ms);

}  // namespace websearch

// The tab control's handling, owned by the main window.  Tabs brought to the
// front by the program (showTabQuietly) do not run PageControl1Change; the
// operator's picks do.
class WebTabs : public QObject {
    Q_OBJECT
public:
    explicit WebTabs(Tmain& w);

    // Searches the number field's text on the three engines.
    void Search_Tel_Web();
    // The tab now in front: card source, side page and card mode.
    void PageControl1Change();
    // Brings a tab to the front without PageControl1Change.
    void showTabQuietly(QWidget* tab);

private:
    Tmain& w_;
    bool quiet_ = false;
};
