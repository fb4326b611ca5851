#include "ui/lists/fieldchoicefile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "rules/lists/listsearch.h"
#include "rules/lists/savefile.h"

FieldChoiceFile::FieldChoiceFile(QComboBox* combo, QString fileName, QObject* parent)
    : QObject(parent), fileName_(std::move(fileName))
{
    // activated() follows the user's picks only.
    connect(combo, &QComboBox::activated, this,
            [this, combo](int) { guarded([&] { save(combo->currentIndex()); }); });
}

QString FieldChoiceFile::filePath() const { return programFolder() + QStringLiteral("set/") + fileName_; }

void FieldChoiceFile::save(int index) { replaceTextFile(filePath(), listsearch::fieldChoiceLines(index)); }

namespace {

void restoreChoice(QComboBox* combo, const QString& fileName)
{
    const QString path = programFolder() + QStringLiteral("set/") + fileName;
    if (!QFile::exists(path))
        return;
    int index = -1;
    if (!listsearch::parseFieldChoice(readTextLines(path), &index))
        throw FileError(QStringLiteral("“%1”不是有效的整数值。")
                            .arg(QDir::toNativeSeparators(path)));
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace

void restoreSearchFields(QComboBox* callCombo, QComboBox* customerCombo)
{
    restoreChoice(callCombo, QStringLiteral("ldfield.dat"));
    restoreChoice(customerCombo, QStringLiteral("khfield.dat"));
}
