#include "ui/transfer/exportfieldswindow.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <climits>

#include "ui/kit/look.h"
#include "ui/kit/message.h"

ExportFieldsWindow::ExportFieldsWindow(const QStringList& fields, int limit, QWidget* owner)
    : QDialog(owner, kFixedDialog), limit_(limit)
{
    setObjectName(QStringLiteral("daoChu_fieldw"));
    setWindowTitle(QStringLiteral("选择导出字段"));
    setFixedSize(428, 390);
    setFont(songti(14));  // 10.5 pt

    auto label = [this](const QString& text, int x, int y) {
        auto* l = new QLabel(text, this);
        l->adjustSize();
        l->move(x, y);
        return l;
    };
    auto button = [this](const char* name, const QString& text, int y) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(12));  // 9 pt
        b->setGeometry(172, y, 75, 25);
        b->setAutoDefault(false);
        return b;
    };

    label(QStringLiteral("数据库所有字段"), 8, 8);
    allFields_ = new QListWidget(this);
    allFields_->setObjectName(QStringLiteral("allFields"));
    allFields_->setGeometry(8, 24, 141, 261);
    allFields_->addItems(fields);

    QPushButton* add = button("addFieldButton", QStringLiteral("添加"), 60);
    QPushButton* addAll = button("addAllButton", QStringLiteral("全选"), 96);
    QPushButton* remove = button("removeFieldButton", QStringLiteral("删除"), 132);
    QPushButton* removeAll = button("removeAllButton", QStringLiteral("全删除"), 168);
    QPushButton* back = button("backButton", QStringLiteral("返回"), 204);

    label(QStringLiteral("导出字段"), 280, 8);
    chosenFields_ = new QListWidget(this);
    chosenFields_->setObjectName(QStringLiteral("chosenFields"));
    chosenFields_->setGeometry(272, 24, 141, 261);

    limitBox_ = new QCheckBox(QStringLiteral("限制单个文件记录数"), this);
    limitBox_->setObjectName(QStringLiteral("limitBox"));
    limitBox_->setGeometry(12, 320, 157, 17);
    limitNumber_ = new QSpinBox(this);
    limitNumber_->setObjectName(QStringLiteral("limitNumber"));
    limitNumber_->setGeometry(212, 318, 57, 23);
    limitNumber_->setRange(INT_MIN, INT_MAX);
    limitNumber_->setValue(0);
    limitNumber_->setEnabled(false);
    label(QStringLiteral("数量单位：万"), 280, 322);
    label(QStringLiteral("0代表不限制单个文件记录数量"), 212, 356);

    connect(add, &QPushButton::clicked, this, &ExportFieldsWindow::addField);
    connect(addAll, &QPushButton::clicked, this, &ExportFieldsWindow::addAllFields);
    connect(remove, &QPushButton::clicked, this, &ExportFieldsWindow::removeField);
    connect(removeAll, &QPushButton::clicked, this, &ExportFieldsWindow::removeAllFields);
    connect(back, &QPushButton::clicked, this, &ExportFieldsWindow::goBack);
    connect(allFields_, &QListWidget::itemDoubleClicked, this, &ExportFieldsWindow::addField);
    connect(chosenFields_, &QListWidget::itemDoubleClicked, this, &ExportFieldsWindow::removeClicked);
    connect(limitBox_, &QCheckBox::toggled, limitNumber_, &QWidget::setEnabled);

    centreOnScreen(this);
}

ExportFieldsWindow::Choice ExportFieldsWindow::ask(const QStringList& fields, int limit, QWidget* owner)
{
    ExportFieldsWindow w(fields, limit, owner);
    w.exec();
    return {w.chosenFields(), w.limit()};
}

QStringList ExportFieldsWindow::chosenFields() const
{
    QStringList out;
    for (int i = 0; i < chosenFields_->count(); ++i)
        out << chosenFields_->item(i)->text();
    return out;
}

void ExportFieldsWindow::addField()
{
    QListWidgetItem* item = allFields_->currentItem();
    if (!item || !item->isSelected()) {
        showMessage(QStringLiteral("请在左边列表中选择一个字段！"));
        return;
    }
    const QString name = item->text();
    for (int i = 0; i < chosenFields_->count(); ++i)
        if (chosenFields_->item(i)->text().compare(name, Qt::CaseInsensitive) == 0)
            return;
    chosenFields_->addItem(name);
}

void ExportFieldsWindow::addAllFields()
{
    chosenFields_->clear();
    for (int i = 0; i < allFields_->count(); ++i)
        chosenFields_->addItem(allFields_->item(i)->text());
}

void ExportFieldsWindow::removeField()
{
    QListWidgetItem* item = chosenFields_->currentItem();
    if (!item || !item->isSelected()) {
        showMessage(QStringLiteral("请在右边的列表中选择一个字段！"));
        return;
    }
    delete chosenFields_->takeItem(chosenFields_->row(item));
}

void ExportFieldsWindow::removeAllFields() { chosenFields_->clear(); }

void ExportFieldsWindow::goBack()
{
    if (limitBox_->isChecked()) {
        bool ok = false;
        const int n = limitNumber_->cleanText().toInt(&ok);
        limit_ = ok ? n : 0;
    }
    close();
}

void ExportFieldsWindow::removeClicked()
{
    QListWidgetItem* item = chosenFields_->currentItem();
    if (item && item->isSelected())
        delete chosenFields_->takeItem(chosenFields_->row(item));
}
