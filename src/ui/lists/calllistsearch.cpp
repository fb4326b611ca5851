#include "ui/lists/calllistsearch.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "rules/errors/errorreport.h"
#include "rules/files/paths.h"
#include "rules/files/textfile.h"
#include "ui/kit/updownbox.h"
#include "data/dataset/dataset.h"
#include "rules/lists/listsearch.h"
#include "data/lists/reopen.h"
#include "rules/statements/tablenames.h"

CallListSearch::CallListSearch(DataSet& calls, QComboBox* field, QLineEdit* text,
                               QPushButton* search, const QSpinBox* year, const QSpinBox* month,
                               const QSpinBox* day, MessagePanel panel, QObject* parent)
    : QObject(parent), calls_(calls), panel_(std::move(panel)), field_(field), text_(text), year_(year),
      month_(month), day_(day)
{
    connect(&calls_, &DataSet::loadingChanged, this, &CallListSearch::loadingChanged);
    // Any other list of calls (all calls, a day) ends what the panel said
    // of a stopped search.
    connect(&calls_, &DataSet::layoutChanged, this, [this] {
        if (!calls_.loading() && !calls_.partial())
            putBackMessage();
    });
    connect(search, &QPushButton::clicked, this, [this] { guarded([this] { searchByField(); }); });
    text_->installEventFilter(this);
}

bool CallListSearch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == text_ && event->type() == QEvent::KeyPress &&
        (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
         static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter)) {
        guarded([this] { searchByField(); });
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QString CallListSearch::searchingText()
{
    return QStringLiteral("正在查找来电数据，找到的记录随即列出……");
}

QString CallListSearch::partialText(int found)
{
    return QStringLiteral("查找已停止：只列出了已找到的 ") + QString::number(found) +
           QStringLiteral(" 条来电记录，结果不完整。");
}

void CallListSearch::say(const QString& text)
{
    if (!panel_.setText)
        return;
    if (said_.isEmpty() || panel_.text() != said_)
        before_ = panel_.text();
    said_ = text;
    panel_.setText(text);
}

void CallListSearch::putBackMessage()
{
    if (said_.isEmpty())
        return;
    // Unless something else has been said since.
    if (panel_.text() == said_)
        panel_.setText(before_);
    said_.clear();
}

void CallListSearch::loadingChanged(bool loading)
{
    if (loading)
        say(searchingText());
    else if (calls_.isActive() && calls_.partial())
        say(partialText(calls_.recordCount()));
    else
        putBackMessage();
}

void CallListSearch::searchByField()
{
    reopenWith(calls_, WrittenStatement::of(listsearch::fieldSearch(tables::calls(), field_->currentText(),
                                                                    text_->text(), textLikeOf(calls_)),
                                            tables::calls()));
}

void CallListSearch::searchByDate()
{
    reopenWith(calls_, WrittenStatement::of(listsearch::dateSearch(year_->value(), month_->value(), day_->value()),
                                            tables::calls()));
}
