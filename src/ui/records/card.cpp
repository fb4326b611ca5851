#include "ui/records/card.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "rules/app/errorreport.h"
#include "ui/app/look.h"
#include "data/app/datasource.h"
#include "ui/app/dbcontrols.h"

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

CustomerCard::CustomerCard(const CardParts& parts, QObject* parent) : QObject(parent), p_(parts) { build(); }

void CustomerCard::build()
{
    QWidget* band = p_.band;
    DBEdit1 = place<DBEdit>(band, "DBEdit1", QStringLiteral("联系人"), 76, 56, 121);
    DBComboBox1 = place<DBComboBox>(band, "DBComboBox1", QStringLiteral("部门"), 236, 56, 145);
    DBComboBox2 = place<DBComboBox>(band, "DBComboBox2", QStringLiteral("职务"), 416, 56, 145);
    DBEdit2 = place<DBEdit>(band, "DBEdit2", QStringLiteral("电话"), 76, 80, 121);
    DBEdit3 = place<DBEdit>(band, "DBEdit3", QStringLiteral("手机"), 236, 80, 141);
    DBEdit4 = place<DBEdit>(band, "DBEdit4", QStringLiteral("宅电"), 416, 80, 145);
    DBEdit5 = place<DBEdit>(band, "DBEdit5", QStringLiteral("公司名称"), 76, 104, 485);
    DBEdit6 = place<DBEdit>(band, "DBEdit6", QStringLiteral("地址"), 76, 128, 485);
    DBEdit7 = place<DBEdit>(band, "DBEdit7", QStringLiteral("EMAIL"), 76, 152, 145);
    DBEdit8 = place<DBEdit>(band, "DBEdit8", QStringLiteral("QQ"), 244, 152, 121);
    DBEdit9 = place<DBEdit>(band, "DBEdit9", QStringLiteral("MSN"), 412, 152, 149);
    DBEdit10 = place<DBEdit>(band, "DBEdit10", QStringLiteral("网址"), 76, 176, 289);
    DBEdit11 = place<DBEdit>(band, "DBEdit11", QStringLiteral("邮编"), 412, 176, 149);
    DBComboBox3 = place<DBComboBox>(band, "DBComboBox3", QStringLiteral("分类1"), 76, 204, 145);
    DBComboBox4 = place<DBComboBox>(band, "DBComboBox4", QStringLiteral("分类2"), 272, 204, 145);

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
    DBMemo1 = memo("DBMemo1", QStringLiteral("事项"), 56);
    DBMemo2 = memo("DBMemo2", QStringLiteral("答复"), 140);

    BitBtn11 = new QPushButton(QStringLiteral("保存"), band);
    BitBtn11->setObjectName(QStringLiteral("BitBtn11"));
    BitBtn11->setFont(songti(12));
    BitBtn11->setGeometry(452, 208, 83, 20);

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
    BitBtn7 = button("BitBtn7", QStringLiteral("增加"), QString(), QStyle::SP_FileIcon, 12, 83);
    BitBtn8 = button("BitBtn8", QStringLiteral("保存"), QString(), QStyle::SP_DialogSaveButton, 104, 83);
    BitBtn9 = button("BitBtn9", QStringLiteral("删除"), QString(), QStyle::SP_TrashIcon, 192, 83);
    BitBtn28 = button("BitBtn28", QString(), QStringLiteral("第一条记录"), QStyle::SP_MediaSkipBackward, 292, 29);
    BitBtn29 = button("BitBtn29", QString(), QStringLiteral("前一条记录"), QStyle::SP_MediaSeekBackward, 324, 29);
    BitBtn30 = button("BitBtn30", QString(), QStringLiteral("后一条记录"), QStyle::SP_MediaSeekForward, 356, 29);
    BitBtn31 = button("BitBtn31", QString(), QStringLiteral("最后一条记录"), QStyle::SP_MediaSkipForward, 388, 29);

    auto click = [this](QPushButton* b, void (CustomerCard::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
    };
    click(BitBtn7, &CustomerCard::BitBtn7Click);
    click(BitBtn8, &CustomerCard::BitBtn8Click);
    click(BitBtn11, &CustomerCard::BitBtn8Click);
    click(BitBtn9, &CustomerCard::BitBtn9Click);
    click(BitBtn28, &CustomerCard::BitBtn28Click);
    click(BitBtn29, &CustomerCard::BitBtn29Click);
    click(BitBtn30, &CustomerCard::BitBtn30Click);
    click(BitBtn31, &CustomerCard::BitBtn31Click);

    // Enter walks this chain; Tab follows the order below it.
    chain_ = {DBEdit1, DBComboBox1, DBComboBox2, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6,
              DBEdit7, DBEdit8, DBEdit9, DBEdit10, DBEdit11, DBComboBox3, DBComboBox4};
    for (QWidget* w : chain_) {
        w->installEventFilter(this);
        if (auto* combo = qobject_cast<DBComboBox*>(w))
            combo->lineEdit()->installEventFilter(this);
    }
    const QVector<QWidget*> tabs = {DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6, DBEdit7,
                                    DBEdit8, DBEdit9, DBEdit10, DBComboBox1, DBComboBox2, DBComboBox3,
                                    DBComboBox4, DBEdit11, DBMemo1, DBMemo2, BitBtn7, BitBtn8,
                                    BitBtn9, BitBtn28, BitBtn29, BitBtn30, BitBtn31, BitBtn11};
    for (int i = 1; i < tabs.size(); ++i)
        QWidget::setTabOrder(tabs[i - 1], tabs[i]);

    // A double click on a choice field edits its dictionary values.
    for (DBComboBox* c : {DBComboBox1, DBComboBox2, DBComboBox3, DBComboBox4})
        connect(c, &DBComboBox::doubleClicked, this, [this, c] { guarded([&] { if (p_.editDictionary) p_.editDictionary(*c); }); });
}

void CustomerCard::setDatasource(DataSource* source)
{
    // Leaving a record ends its pending edit the way a move does, so that
    // nothing typed is left behind unseen (a failed store is reported and
    // the typing stays in its data set).
    DataSource* old = DBEdit1->dataSource();
    DataSet* leaving = old ? old->dataSet() : nullptr;
    if (leaving && leaving->isActive() && (!source || source->dataSet() != leaving))
        leaving->endPendingEdit();
    for (DBEdit* e : {DBEdit1, DBEdit2, DBEdit3, DBEdit4, DBEdit5, DBEdit6, DBEdit7, DBEdit8, DBEdit9,
                      DBEdit10, DBEdit11})
        e->setDataSource(source);
    for (DBComboBox* c : {DBComboBox1, DBComboBox2, DBComboBox3, DBComboBox4})
        c->setDataSource(source);
    DBMemo1->setDataSource(source);
    DBMemo2->setDataSource(source);
}

void CustomerCard::Set_Buy_Data(int mode)
{
    if (mode != 0 && mode != 1)
        return;
    const bool editing = mode == 1;
    p_.Label22->setVisible(!editing);
    for (QPushButton* b : {BitBtn7, BitBtn8, BitBtn9, BitBtn28, BitBtn29, BitBtn30, BitBtn31})
        b->setVisible(editing);
}

DataSet* CustomerCard::cardDataSet() const
{
    DataSource* src = DBEdit1->dataSource();
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

void CustomerCard::BitBtn7Click()
{
    cardDataSet()->append();
    DBEdit1->setFocus();
}

void CustomerCard::BitBtn8Click()
{
    DataSet* ds = cardDataSet();
    if (ds->state() != DataSet::State::Edit && ds->state() != DataSet::State::Insert)
        ds->edit();
    ds->post();
}

void CustomerCard::BitBtn9Click() { cardDataSet()->remove(); }
void CustomerCard::BitBtn28Click() { cardDataSet()->first(); }
void CustomerCard::BitBtn29Click() { cardDataSet()->prior(); }
void CustomerCard::BitBtn30Click() { cardDataSet()->next(); }
void CustomerCard::BitBtn31Click() { cardDataSet()->last(); }

void CustomerCard::DBComboBox4KeyDown()
{
    DataSet* ds = cardDataSet();
    ds->next();
    // New customers are added at the end of the customer table only.
    if (ds->eof() && DBEdit1->dataSource() == p_.customers)
        ds->append();
    DBEdit1->setFocus(Qt::TabFocusReason);
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
    if (w == DBComboBox4) {
        guarded([this] { DBComboBox4KeyDown(); });
        return true;
    }
    if (QWidget* next = nextInChain(w))
        next->setFocus(Qt::TabFocusReason);
    return true;
}
