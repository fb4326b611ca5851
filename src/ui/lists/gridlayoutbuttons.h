#pragma once
// The three buttons under each list tab's side panel: "平均列宽", "保存设置",
// "初始化".

#include <QObject>
#include <QString>

class DBGrid;
class QPushButton;
class QWidget;

// The three layout buttons of one grid.  The width limit is the side panel's
// width divided by `divisor`, taken when "平均列宽" is pressed.
class GridLayoutButtons : public QObject {
    Q_OBJECT
public:
    GridLayoutButtons(DBGrid& grid, const QWidget& sidePanel, int divisor, QString fileName,
                      QPushButton* fit, QPushButton* save, QPushButton* reset, QObject* parent);

    QString filePath() const;  // program folder + set/<file name>
    void fitColumns();
    void saveLayout();
    void resetColumns();

private:
    DBGrid& grid_;
    const QWidget& panel_;
    int divisor_;
    QString fileName_;
};
