#include "ui/kit/dbcontrols.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QMouseEvent>

#include "rules/errors/errorreport.h"

// --- FieldLink ----------------------------------------------------------------

FieldLink::FieldLink(QObject* parent) : QObject(parent) {}

void FieldLink::setDataSource(DataSource* src)
{
    for (auto& c : links_)
        disconnect(c);
    src_ = src;
    if (src) {
        links_[0] = connect(src, &DataSource::dataSetChanged, this, &FieldLink::onChange);
        links_[1] = connect(src, &DataSource::recordChanged, this, &FieldLink::onChange);
        links_[2] = connect(src, &DataSource::layoutChanged, this, &FieldLink::onChange);
    }
    onChange();
}

void FieldLink::setDataField(const QString& field)
{
    field_ = field;
    onChange();
}

bool FieldLink::isBound() const
{
    DataSet* ds = dataSet();
    return ds && ds->isActive() && ds->findField(field_) >= 0;
}

QString FieldLink::fieldText() const
{
    DataSet* ds = dataSet();
    // A record that could not be read shows nothing (its read was reported).
    if (!isBound() || !ds->recordReadable())
        return {};
    return ds->text(ds->findField(field_));
}

bool FieldLink::write(const QString& text)
{
    DataSet* ds = dataSet();
    if (!isBound())
        return false;
    // Called from the controls' signals: an error is reported here and never
    // leaves the slot; the control shows the field again.
    writing_ = true;
    try {
        if (ds->state() == DataSet::State::Browse)
            ds->edit();
        ds->setValue(ds->fieldIndex(field_), text);
    } catch (...) {
        writing_ = false;
        emit refresh();
        errorreport::reportCurrentException();
        return false;
    }
    writing_ = false;
    return true;
}

void FieldLink::onChange()
{
    if (!writing_)
        emit refresh();
}

// --- DBEdit -------------------------------------------------------------------

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent), FieldBound(this)
{
    connect(link_, &FieldLink::refresh, this, &DBEdit::showField);
    connect(this, &QLineEdit::textEdited, link_, &FieldLink::write);
}

void DBEdit::showField()
{
    // Without an open data set there is nothing typing could be stored in.
    setReadOnly(!link_->isBound());
    const QString t = link_->fieldText();
    if (t != text())
        setText(t);
    setCursorPosition(0);
}

// --- DBComboBox ---------------------------------------------------------------

DBComboBox::DBComboBox(QWidget* parent) : QComboBox(parent), FieldBound(this)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->installEventFilter(this);
    connect(link_, &FieldLink::refresh, this, &DBComboBox::showField);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& t) {
        typed_ = true;
        link_->write(t);
    });
    // Leaving the box makes it show a list entry that matches its text
    // without regard to case; without typing, it goes back to the field.
    connect(lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (typed_)
            guarded([this] { commitText(); });
        else
            showField();
    });
    // A value picked from the open list is written like typing would be.
    // Enter and Tab do not pick: the box keeps what it shows.
    connect(this, &QComboBox::textActivated, this, [this](const QString& t) {
        if (showing_ || !picking_)
            return;
        picking_ = false;
        if (t != link_->fieldText())
            link_->write(t);
    });
}

void DBComboBox::showPopup()
{
    picking_ = true;
    QComboBox::showPopup();
}

void DBComboBox::hidePopup()
{
    QComboBox::hidePopup();
    // The pick, if any, is announced right after the list closes.
    QMetaObject::invokeMethod(this, [this] { picking_ = false; }, Qt::QueuedConnection);
}

void DBComboBox::commitText()
{
    if (!typed_)
        return;
    typed_ = false;
    const QString shown = lineEdit()->text();
    if (shown != link_->fieldText())
        link_->write(shown);
}

void DBComboBox::showField()
{
    showing_ = true;
    typed_ = false;
    lineEdit()->setReadOnly(!link_->isBound());
    const QString t = link_->fieldText();
    if (currentText() != t)
        setEditText(t);
    showing_ = false;
}

void DBComboBox::setList(const QStringList& items)
{
    showing_ = true;
    clear();
    addItems(items);
    showing_ = false;
    showField();
}

bool DBComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonDblClick) {
        emit doubleClicked();
        return true;
    }
    if (watched == lineEdit() && event->type() == QEvent::FocusOut && !view()->isVisible())
        guarded([this] { commitText(); });
    return QComboBox::eventFilter(watched, event);
}

void DBComboBox::mouseDoubleClickEvent(QMouseEvent* e)
{
    emit doubleClicked();
    e->accept();
}

// --- DBMemo -------------------------------------------------------------------

DBMemo::DBMemo(QWidget* parent) : QPlainTextEdit(parent), FieldBound(this)
{
    connect(link_, &FieldLink::refresh, this, &DBMemo::showField);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (showing_)
            return;
        QString t = toPlainText();
        t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        link_->write(t);
    });
}

void DBMemo::showField()
{
    showing_ = true;
    setReadOnly(!link_->isBound());
    // Stored text keeps CR LF line ends; the editor works with LF.
    QString t = link_->fieldText();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (toPlainText() != t)
        setPlainText(t);
    showing_ = false;
}
