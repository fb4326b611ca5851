#pragma once
// The customer card: seventeen data-aware controls in the upper band of the
// main window, all bound to one data source at a time (customers or calls),
// the card's "保存" button and the bottom strip's editing and navigation
// buttons.

#include <QObject>
#include <QVector>
#include <functional>

class DataSet;
class DataSource;
class DBComboBox;
class DBEdit;
class DBMemo;
class QLabel;
class QPushButton;
class QWidget;

// What the card is built on and works with.
struct CardParts {
    QWidget* band = nullptr;         // the upper band (944 x 261)
    QWidget* bottomStrip = nullptr;  // the 32-px bar at its foot
    QLabel* advertLine = nullptr;    // the advertising line
    DataSource* customers = nullptr; // customerSource: Enter on the last one adds one
    std::function<void(DBComboBox&)> editDictionary;  // double click on a choice
};

class CustomerCard : public QObject {
    Q_OBJECT
public:
    // Builds the controls on the band and its bottom strip.  Each control's
    // object name is its member's name without the trailing underscore
    // ("contactField", "category2Field", "saveButton" ...).
    CustomerCard(const CardParts& parts, QObject* parent);

    // Binds every control, in the card's order, to the source.
    void setDataSource(DataSource* source);
    // 0: advertising look, 1: editing look; other values change nothing.
    void setLook(int mode);

    // The first field of the card, 联系人.
    DBEdit* contactField() const { return contactField_; }
    // The four choice fields: 部门, 职务, 分类1, 分类2.
    QVector<DBComboBox*> choiceFields() const;

    // The data set the buttons act on: the one behind the contact field's
    // source at this moment.
    DataSet* cardDataSet() const;

    // The Enter chain: the field that follows `from` (nullptr when `from`
    // is not in the chain; the last link is handled by enterOnLastField).
    QWidget* nextInChain(QWidget* from) const;

    void addRecord();     // 增加
    void saveRecord();    // 保存 (the card's own 保存 does the same)
    void deleteRecord();  // 删除
    void firstRecord();
    void priorRecord();
    void nextRecord();
    void lastRecord();
    // Enter on 分类2: on to the next record; past the last customer, a new one.
    void enterOnLastField();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildFields();
    void buildButtons();
    void wireFields();

    CardParts p_;
    QVector<QWidget*> chain_;  // the Enter chain, 联系人 … 分类2

    DBEdit* contactField_;    // 联系人
    DBEdit* phoneField_;      // 电话
    DBEdit* mobileField_;     // 手机
    DBEdit* homePhoneField_;  // 宅电
    DBEdit* companyField_;    // 公司名称
    DBEdit* addressField_;    // 地址
    DBEdit* emailField_;      // EMAIL
    DBEdit* qqField_;         // QQ
    DBEdit* msnField_;        // MSN
    DBEdit* webField_;        // 网址
    DBEdit* postCodeField_;   // 邮编
    DBComboBox* departmentField_;  // 部门
    DBComboBox* positionField_;    // 职务
    DBComboBox* category1Field_;   // 分类1
    DBComboBox* category2Field_;   // 分类2
    DBMemo* mattersField_;    // 事项
    DBMemo* replyField_;      // 答复

    QPushButton* cardSaveButton_;  // 保存 on the card
    QPushButton* addButton_;       // 增加
    QPushButton* saveButton_;      // 保存
    QPushButton* deleteButton_;    // 删除
    QPushButton* firstButton_;
    QPushButton* priorButton_;
    QPushButton* nextButton_;
    QPushButton* lastButton_;
};
