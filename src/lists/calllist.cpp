#include "lists/calllist.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "app/errorreport.h"
#include "app/paths.h"
#include "app/textfile.h"
#include "app/tmain.h"
#include "db/dataset.h"
#include "lists/listsearch.h"
#include "lists/reopen.h"
#include "lists/savefile.h"

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

void SetSearchField(QComboBox* callCombo, QComboBox* customerCombo)
{
    restoreChoice(callCombo, QStringLiteral("ldfield.dat"));
    restoreChoice(customerCombo, QStringLiteral("khfield.dat"));
}

CallListSearch::CallListSearch(DataSet& calls, QComboBox* field, QLineEdit* text,
                               QPushButton* search, UpDownBox* year, UpDownBox* month,
                               UpDownBox* day, QObject* parent)
    : QObject(parent), calls_(calls), field_(field), text_(text), year_(year), month_(month), day_(day)
{
    connect(search, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn13Click(); }); });
    text_->installEventFilter(this);
    for (UpDownBox* b : {year_, month_, day_})
        connect(b, &UpDownBox::clicked, this, [this] { guarded([this] { Search_LD_date(); }); });
}

bool CallListSearch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::KeyPress &&
        (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
         static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
        guarded([this] { BitBtn13Click(); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void CallListSearch::BitBtn13Click()
{
    reopenWith(calls_, listsearch::fieldSearch(QStringLiteral("来电数据"), field_->currentText(),
                                               text_->text()));
}

void CallListSearch::Search_LD_date()
{
    reopenWith(calls_, listsearch::dateSearch(year_->value(), month_->value(), day_->value()));
}
