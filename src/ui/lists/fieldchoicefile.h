#pragma once
// The two files that remember which field each list's search combo had
// selected: set/ldfield.dat (calls) and set/khfield.dat (customers).

#include <QObject>
#include <QString>

class QComboBox;

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

// Selects the saved index in the call list's combo, then in the customer
// list's combo, each when its file exists.  An index outside the combo
// leaves it with no field selected.  A file that is empty or does not start
// with a number throws, and the rest of the restore is not done.
void restoreSearchFields(QComboBox* callCombo, QComboBox* customerCombo);
