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
    QLabel* Label22 = nullptr;       // the advertising line
    DataSource* customers = nullptr; // customerSource: Enter on the last one adds one
    std::function<void(DBComboBox&)> editDictionary;  // double click on a choice
};

class CustomerCard : public QObject {
    Q_OBJECT
public:
    // Builds the controls on the band and its bottom strip.
    CustomerCard(const CardParts& parts, QObject* parent);

    DBEdit* DBEdit1;   // 联系人
    DBEdit* DBEdit2;   // 电话
    DBEdit* DBEdit3;   // 手机
    DBEdit* DBEdit4;   // 宅电
    DBEdit* DBEdit5;   // 公司名称
    DBEdit* DBEdit6;   // 地址
    DBEdit* DBEdit7;   // EMAIL
    DBEdit* DBEdit8;   // QQ
    DBEdit* DBEdit9;   // MSN
    DBEdit* DBEdit10;  // 网址
    DBEdit* DBEdit11;  // 邮编
    DBComboBox* DBComboBox1;  // 部门
    DBComboBox* DBComboBox2;  // 职务
    DBComboBox* DBComboBox3;  // 分类1
    DBComboBox* DBComboBox4;  // 分类2
    DBMemo* DBMemo1;  // 事项
    DBMemo* DBMemo2;  // 答复

    QPushButton* BitBtn11;  // 保存 on the card
    QPushButton* BitBtn7;   // 增加
    QPushButton* BitBtn8;   // 保存
    QPushButton* BitBtn9;   // 删除
    QPushButton* BitBtn28;  // first record
    QPushButton* BitBtn29;  // previous record
    QPushButton* BitBtn30;  // next record
    QPushButton* BitBtn31;  // last record

    // Binds every control, in the card's order, to the source.
    void setDatasource(DataSource* source);
    // 0: advertising look, 1: editing look; other values change nothing.
    void Set_Buy_Data(int mode);

    // The data set the buttons act on: the one behind the contact field's
    // source at this moment.
    DataSet* cardDataSet() const;

    // The Enter chain: the field that follows `from` (nullptr when `from`
    // is not in the chain; the last link is handled by DBComboBox4KeyDown).
    QWidget* nextInChain(QWidget* from) const;

    void BitBtn7Click();   // 增加
    void BitBtn8Click();   // 保存 (BitBtn11 does the same)
    void BitBtn9Click();   // 删除
    void BitBtn28Click();  // first
    void BitBtn29Click();  // previous
    void BitBtn30Click();  // next
    void BitBtn31Click();  // last
    void DBComboBox4KeyDown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    CardParts p_;
    QVector<QWidget*> chain_;       // the Enter chain, 联系人 … 分类2
    QVector<QObject*> keyTargets_;  // what receives the keys of each chain link
};
