#pragma once
// The call list tab's searches: the field search ("查询" or Enter in the
// search box), the date search on every arrow click of the date row, and the
// two files that remember which field each list's combo had selected.

#include <QObject>
#include <QString>

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

class CallListSearch : public QObject {
    Q_OBJECT
public:
    CallListSearch(DataSet& calls, QComboBox* field, QLineEdit* text, QPushButton* search,
                   UpDownBox* year, UpDownBox* month, UpDownBox* day, QObject* parent);

    void BitBtn13Click();   // field search
    void Search_LD_date();  // the calls of the day the date row shows

private:
    bool eventFilter(QObject* watched, QEvent* event) override;

    DataSet& calls_;
    QComboBox* field_;
    QLineEdit* text_;
    UpDownBox* year_;
    UpDownBox* month_;
    UpDownBox* day_;
};
