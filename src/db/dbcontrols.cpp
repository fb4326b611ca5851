#include "db/dbcontrols.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QMouseEvent>

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

void FieldLink::write(const QString& text)
{
    DataSet* ds = dataSet();
    if (!isBound())
        return;
    writing_ = true;
    try {
        if (ds->state() == DataSet::State::Browse)
            ds->edit();
        ds->setValue(ds->fieldIndex(field_), text);
    } catch (...) {
        writing_ = false;
        emit refresh();
        throw;
    }
    writing_ = false;
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
    connect(lineEdit(), &QLineEdit::textEdited, link_, &FieldLink::write);
    // Picking a value from the list writes it like typing would.
    connect(this, &QComboBox::textActivated, this, [this](const QString& t) {
        if (!showing_ && t != link_->fieldText())
            link_->write(t);
    });
}

void DBComboBox::showField()
{
    showing_ = true;
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
    // Stored text keeps CR LF line ends; the editor works with LF.
    QString t = link_->fieldText();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (toPlainText() != t)
        setPlainText(t);
    showing_ = false;
}
