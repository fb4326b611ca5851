#pragma once
// The call list tab's searches: the field search ("查询" or Enter in the
// search box) and the date search for the day the date row shows.

#include <QObject>
#include <QString>
#include <functional>

class DataSet;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

// A search over many calls reads its rows in the background (see
// dataset.h): the message panel says so while it runs, and says when the
// operator stopped it that the list holds only the calls found till then.
class CallListSearch : public QObject {
    Q_OBJECT
public:
    // The message panel of the main window: its text, and a new one.
    struct MessagePanel {
        std::function<QString()> text;
        std::function<void(const QString&)> setText;
    };

    // The date row's boxes are read by searchByDate(), which the owner runs
    // on every arrow click of the row.
    CallListSearch(DataSet& calls, QComboBox* field, QLineEdit* text, QPushButton* search,
                   const QSpinBox* year, const QSpinBox* month, const QSpinBox* day, MessagePanel panel,
                   QObject* parent);

    void searchByField();  // 查询
    void searchByDate();   // the calls of the day the date row shows

    static QString searchingText();
    static QString partialText(int found);

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void say(const QString& text);
    void loadingChanged(bool loading);
    void putBackMessage();  // what the panel said before the search

    DataSet& calls_;
    MessagePanel panel_;
    QString before_;  // the panel's text before the search said anything
    QString said_;    // what the search said last
    QComboBox* field_;
    QLineEdit* text_;
    const QSpinBox* year_;
    const QSpinBox* month_;
    const QSpinBox* day_;
};
