#pragma once
// Every web address the program uses, and the captions of the product tabs.
// They are fixed in the program; change them here and nowhere else.

#include <QString>

namespace webaddr {

// Captions of tabs 1 to 3 at start and the product pages their browsers show.
extern const QString productCaption1;
extern const QString productCaption2;
extern const QString productCaption3;
extern const QString productPage1;
extern const QString productPage2;
extern const QString productPage3;

// Tab "信息查询": home page of the information-lookup site.
extern const QString infoSite;
// Tab "来电软件更新": this program's page on the maker's site.
extern const QString updatePage;
// Menu "访问技术支持网站".
extern const QString supportSite;

// Base of the side pages (a recipe site); ends in "/caipu".
extern const QString sidePageBase;
// Side page loaded into the first tab's side browser at start.
constexpr int startSidePage = 22405;

// Search engines for the caller's number (no query part; the caller adds
// "?" and the query).
extern const QString googleSearch;  // path /search
extern const QString yahooSearch;   // path /search
extern const QString baiduSearch;   // path /s

// Address of side page r: base + (r div 1000) + "/c" + r + ".html".
QString sidePage(int r);
// Side page shown beside the customer list when a known customer calls:
// base + "/c" + n + ".html".
QString callerSidePage(int n);

}  // namespace webaddr
