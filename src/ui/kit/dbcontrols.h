#pragma once
// Data-aware edit, combo box and memo: each shows one field of the current
// record of its data source and writes what the operator types back into it
// (typing into a record that is only browsed starts an edit of it).

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include "data/dataset/datasource.h"

// The binding shared by the three controls.
class FieldLink : public QObject {
    Q_OBJECT
public:
    explicit FieldLink(QObject* parent);

    void setDataSource(DataSource* src);
    DataSource* dataSource() const { return src_; }
    void setDataField(const QString& field);
    const QString& dataField() const { return field_; }

    DataSet* dataSet() const { return src_ ? src_->dataSet() : nullptr; }
    // Whether the source's data set is open and has the field.
    bool isBound() const;
    QString fieldText() const;
    // Starts an edit if needed and writes the text into the field.  An
    // error is reported (general error report) and gives false.
    bool write(const QString& text);

signals:
    void refresh();  // the control must show fieldText() again

private:
    void onChange();
    QPointer<DataSource> src_;
    QString field_;
    bool writing_ = false;
    QMetaObject::Connection links_[3];
};

// What the three controls share: their source and field.
class FieldBound {
public:
    void setDataSource(DataSource* src) { link_->setDataSource(src); }
    DataSource* dataSource() const { return link_->dataSource(); }
    void setDataField(const QString& f) { link_->setDataField(f); }
    const QString& dataField() const { return link_->dataField(); }

protected:
    explicit FieldBound(QObject* owner) : link_(new FieldLink(owner)) {}
    FieldLink* link_;
};

class DBEdit : public QLineEdit, public FieldBound {
    Q_OBJECT
public:
    explicit DBEdit(QWidget* parent = nullptr);

private:
    void showField();
};

class DBComboBox : public QComboBox, public FieldBound {
    Q_OBJECT
public:
    explicit DBComboBox(QWidget* parent = nullptr);
    // Replaces the list; the field's text stays as it is.
    void setList(const QStringList& items);
    // Stores what the box shows when the operator typed into it since it
    // last showed the field (the list may have completed the typing).
    // Called when the box is left: Enter, Tab, a click elsewhere.
    void commitText();

    void showPopup() override;
    void hidePopup() override;

signals:
    void doubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void showField();
    bool showing_ = false;
    bool typed_ = false;    // typed into since the field was shown
    bool picking_ = false;  // the list is (or was just) open
};

class DBMemo : public QPlainTextEdit, public FieldBound {
    Q_OBJECT
public:
    explicit DBMemo(QWidget* parent = nullptr);

private:
    void showField();
    bool showing_ = false;
};
