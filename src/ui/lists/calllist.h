#pragma once
// The call list tab's searches: the field search ("查询" or Enter in the
// search box), the date search on every arrow click of the date row, and the
// two files that remember which field each list's combo had selected.

#include <QObject>
#include <QString>
#include <functional>

class DataSet;
class QComboBox;
class QLineEdit;
class QPushButton;
class UpDownBox;

// Writes the combo's index to set/<file> whenever the user picks a field;
// a selection made by the program writes nothing.
class FieldChoiceFile : public QObject {
    Q_OBJECT
public:
    FieldChoiceFile(QComboBox* combo, QString fileName, QObject* parent);
    QString filePath() const;
    void save(int index);

private:
    QString fileName_;
};

// SetSearchField: selects the saved index in the call list's combo, then in
// the customer list's combo, each when its file exists.  An index outside the
// combo leaves it with no field selected.  A file that is empty or does not
// start with a number throws, and the rest of the restore is not done.
void SetSearchField(QComboBox* callCombo, QComboBox* customerCombo);

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

    CallListSearch(DataSet& calls, QComboBox* field, QLineEdit* text, QPushButton* search,
                   UpDownBox* year, UpDownBox* month, UpDownBox* day, MessagePanel panel, QObject* parent);

    void BitBtn13Click();   // field search
    void Search_LD_date();  // the calls of the day the date row shows

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
    UpDownBox* year_;
    UpDownBox* month_;
    UpDownBox* day_;
};
