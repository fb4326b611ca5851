#include "ui/records/card.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "data/dataset/datasource.h"
#include "ui/kit/dbcontrols.h"

namespace {

constexpr int kRowHeight = 21;
constexpr int kLabelGap = 4;

// A caption right-aligned against the control it names.
QLabel* fieldLabel(QWidget* band, const QString& text, int controlLeft, int top)
{
    auto* l = new QLabel(text, band);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int width = l->sizeHint().width();
    l->setGeometry(controlLeft - kLabelGap - width, top, width, kRowHeight);
    return l;
}

template <class Control>
Control* place(QWidget* band, const char* name, const QString& field, int left, int top, int width,
               int height = kRowHeight)
{
    auto* c = new Control(band);
    c->setObjectName(QLatin1String(name));
    c->setDataField(field);
    c->setGeometry(left, top, width, height);
    fieldLabel(band, field, left, top);
    return c;
}

}  // namespace

CustomerCard::CustomerCard(const CardParts& parts, QObject* parent) : QObject(parent), p_(parts)
{
    buildFields();
    buildButtons();
    wireFields();
}

void CustomerCard::buildFields()
{
    QWidget* band = p_.band;
    contactField_ = place<DBEdit>(band, "contactField", QStringLiteral("联系人"), 76, 56, 121);
    departmentField_ = place<DBComboBox>(band, "departmentField", QStringLiteral("部门"), 236, 56, 145);
    positionField_ = place<DBComboBox>(band, "positionField", QStringLiteral("职务"), 416, 56, 145);
    phoneField_ = place<DBEdit>(band, "phoneField", QStringLiteral("电话"), 76, 80, 121);
    mobileField_ = place<DBEdit>(band, "mobileField", QStringLiteral("手机"), 236, 80, 141);
    homePhoneField_ = place<DBEdit>(band, "homePhoneField", QStringLiteral("宅电"), 416, 80, 145);
    companyField_ = place<DBEdit>(band, "companyField", QStringLiteral("公司名称"), 76, 104, 485);
    addressField_ = place<DBEdit>(band, "addressField", QStringLiteral("地址"), 76, 128, 485);
    emailField_ = place<DBEdit>(band, "emailField", QStringLiteral("EMAIL"), 76, 152, 145);
    qqField_ = place<DBEdit>(band, "qqField", QStringLiteral("QQ"), 244, 152, 121);
    msnField_ = place<DBEdit>(band, "msnField", QStringLiteral("MSN"), 412, 152, 149);
    webField_ = place<DBEdit>(band, "webField", QStringLiteral("网址"), 76, 176, 289);
    postCodeField_ = place<DBEdit>(band, "postCodeField", QStringLiteral("邮编"), 412, 176, 149);
    category1Field_ = place<DBComboBox>(band, "category1Field", QStringLiteral("分类1"), 76, 204, 145);
    category2Field_ = place<DBComboBox>(band, "category2Field", QStringLiteral("分类2"), 272, 204, 145);

    // The memos carry their two-character names stacked, one character a line.
    auto memo = [band](const char* name, const QString& field, int top) {
        auto* m = new DBMemo(band);
        m->setObjectName(QLatin1String(name));
        m->setDataField(field);
        m->setGeometry(588, top, 349, 81);
        m->setTabChangesFocus(true);
        auto* l = new QLabel(field.at(0) + QStringLiteral("\n") + field.at(1), band);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(588 - kLabelGap - 18, top + 20, 18, 40);
        return m;
    };
    mattersField_ = memo("mattersField", QStringLiteral("事项"), 56);
    replyField_ = memo("replyField", QStringLiteral("答复"), 140);
}

void CustomerCard::buildButtons()
{
    QWidget* band = p_.band;
    cardSaveButton_ = new QPushButton(QStringLiteral("保存"), band);
    cardSaveButton_->setObjectName(QStringLiteral("cardSaveButton"));
    cardSaveButton_->setFont(songti(12));
    cardSaveButton_->setGeometry(452, 208, 83, 20);

    QWidget* strip = p_.bottomStrip;
    QStyle* st = QApplication::style();
    auto button = [&](const char* name, const QString& caption, const QString& hint, QStyle::StandardPixmap pic,
                      int left, int width) {
        auto* b = new QPushButton(caption, strip);
        b->setObjectName(QLatin1String(name));
        b->setFont(songti(12));
        b->setIcon(st->standardIcon(pic));
        b->setToolTip(hint);
        b->setGeometry(left, (strip->height() - 25) / 2, width, 25);
        b->hide();  // the advertising look at start
        return b;
    };
    addButton_ = button("addButton", QStringLiteral("增加"), QString(), QStyle::SP_FileIcon, 12, 83);
    saveButton_ = button("saveButton", QStringLiteral("保存"), QString(), QStyle::SP_DialogSaveButton, 104, 83);
    deleteButton_ = button("deleteButton", QStringLiteral("删除"), QString(), QStyle::SP_TrashIcon, 192, 83);
    firstButton_ = button("firstButton", QString(), QStringLiteral("第一条记录"), QStyle::SP_MediaSkipBackward, 292, 29);
    priorButton_ = button("priorButton", QString(), QStringLiteral("前一条记录"), QStyle::SP_MediaSeekBackward, 324, 29);
    nextButton_ = button("nextButton", QString(), QStringLiteral("后一条记录"), QStyle::SP_MediaSeekForward, 356, 29);
    lastButton_ = button("lastButton", QString(), QStringLiteral("最后一条记录"), QStyle::SP_MediaSkipForward, 388, 29);

    auto click = [this](QPushButton* b, void (CustomerCard::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    click(addButton_, &CustomerCard::addRecord);
    click(saveButton_, &CustomerCard::saveRecord);
    click(cardSaveButton_, &CustomerCard::saveRecord);
    click(deleteButton_, &CustomerCard::deleteRecord);
    click(firstButton_, &CustomerCard::firstRecord);
    click(priorButton_, &CustomerCard::priorRecord);
    click(nextButton_, &CustomerCard::nextRecord);
    click(lastButton_, &CustomerCard::lastRecord);
}

void CustomerCard::wireFields()
{
    // Enter walks this chain; Tab follows the order below it.
    chain_ = {contactField_, departmentField_, positionField_, phoneField_, mobileField_,
              homePhoneField_, companyField_, addressField_, emailField_, qqField_,
              msnField_, webField_, postCodeField_, category1Field_, category2Field_};
    for (QWidget* w : chain_) {
        w->installEventFilter(this);
        if (auto* combo = qobject_cast<DBComboBox*>(w))
            combo->lineEdit()->installEventFilter(this);
    }
    const QVector<QWidget*> tabs = {
        contactField_,   phoneField_,     mobileField_,   homePhoneField_, companyField_,
        addressField_,   emailField_,     qqField_,       msnField_,       webField_,
        departmentField_, positionField_, category1Field_, category2Field_, postCodeField_,
        mattersField_,   replyField_,     addButton_,     saveButton_,     deleteButton_,
        firstButton_,    priorButton_,    nextButton_,    lastButton_,     cardSaveButton_};
    for (int i = 1; i < tabs.size(); ++i)
        QWidget::setTabOrder(tabs[i - 1], tabs[i]);

    // A double click on a choice field edits its dictionary values.
    for (DBComboBox* c : choiceFields())
        connect(c, &DBComboBox::doubleClicked, this, [this, c] {
            guarded([&] {
                if (p_.editDictionary)
                    p_.editDictionary(*c);
            });
        });
}

QVector<DBComboBox*> CustomerCard::choiceFields() const
{
    return {departmentField_, positionField_, category1Field_, category2Field_};
}

void CustomerCard::setDataSource(DataSource* source)
{
    // Leaving a record ends its pending edit the way a move does, so that
    // nothing typed is left behind unseen (a failed store is reported and
    // the typing stays in its data set).
    DataSource* old = contactField_->dataSource();
    DataSet* leaving = old ? old->dataSet() : nullptr;
    if (leaving && leaving->isActive() && (!source || source->dataSet() != leaving))
        leaving->endPendingEdit();
    for (DBEdit* e : {contactField_, phoneField_, mobileField_, homePhoneField_, companyField_,
                      addressField_, emailField_, qqField_, msnField_, webField_, postCodeField_})
        e->setDataSource(source);
    for (DBComboBox* c : choiceFields())
        c->setDataSource(source);
    mattersField_->setDataSource(source);
    replyField_->setDataSource(source);
}

void CustomerCard::setLook(int mode)
{
    if (mode != 0 && mode != 1)
        return;
    const bool editing = mode == 1;
    p_.advertLine->setVisible(!editing);
    for (QPushButton* b : {addButton_, saveButton_, deleteButton_, firstButton_, priorButton_, nextButton_, lastButton_})
        b->setVisible(editing);
}

DataSet* CustomerCard::cardDataSet() const
{
    DataSource* src = contactField_->dataSource();
    DataSet* ds = src ? src->dataSet() : nullptr;
    if (!ds)
        throw AppError(QStringLiteral("卡片没有连接数据。"));
    return ds;
}

QWidget* CustomerCard::nextInChain(QWidget* from) const
{
    const int i = int(chain_.indexOf(from));
    if (i < 0 || i + 1 >= chain_.size())
        return nullptr;
    return chain_[i + 1];
}

void CustomerCard::addRecord()
{
    cardDataSet()->append();
    contactField_->setFocus();
}

void CustomerCard::saveRecord()
{
    DataSet* ds = cardDataSet();
    if (ds->state() != DataSet::State::Edit && ds->state() != DataSet::State::Insert)
        ds->edit();
    ds->post();
}

void CustomerCard::deleteRecord() { cardDataSet()->remove(); }
void CustomerCard::firstRecord() { cardDataSet()->first(); }
void CustomerCard::priorRecord() { cardDataSet()->prior(); }
void CustomerCard::nextRecord() { cardDataSet()->next(); }
void CustomerCard::lastRecord() { cardDataSet()->last(); }

void CustomerCard::enterOnLastField()
{
    DataSet* ds = cardDataSet();
    ds->next();
    // New customers are added at the end of the customer table only.
    if (ds->eof() && contactField_->dataSource() == p_.customers)
        ds->append();
    contactField_->setFocus(Qt::TabFocusReason);
}

bool CustomerCard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    QWidget* w = qobject_cast<QWidget*>(watched);
    if (w && !chain_.contains(w))
        w = w->parentWidget();  // the line edit inside a combo box
    if (!w || !chain_.contains(w))
        return false;
    // What a choice box shows is stored before the focus leaves it.
    if (auto* combo = qobject_cast<DBComboBox*>(w))
        if (!guarded([combo] { combo->commitText(); }))
            return true;
    if (w == category2Field_) {
        guarded([this] { enterOnLastField(); });
        return true;
    }
    if (QWidget* next = nextInChain(w))
        next->setFocus(Qt::TabFocusReason);
    return true;
}
