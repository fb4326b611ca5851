#include "ui/shell/databasesettingswindow.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QVBoxLayout>

#include "data/module/databasechoice.h"
#include "data/module/datamodule.h"
#include "data/engine/postgresengine.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/look.h"
#include "ui/shell/mainwindow.h"
#include "ui/kit/message.h"
#include "ui/shell/passwordstore.h"

const QString badPortText = QStringLiteral("端口不正确！请输入 1 到 65535 之间的数字，或者不填（使用默认端口 5432）。");

namespace {

QLineEdit* field(QFormLayout* form, const char* name, const QString& caption)
{
    auto* edit = new QLineEdit(form->parentWidget());
    edit->setObjectName(QLatin1String(name));
    edit->setMinimumWidth(250);
    form->addRow(caption, edit);
    return edit;
}

}  // namespace

// Laid out by layouts, not by fixed places: every field and the whole of a
// long error text show with whatever font the desk has, and the window can
// be made larger.
DatabaseSettingsWindow::DatabaseSettingsWindow(const DatabaseLocation& current, const QString& settingFile,
                                               Apply apply, QWidget* owner)
    : QDialog(owner), file_(settingFile), apply_(std::move(apply)), current_(current)
{
    setWindowTitle(QStringLiteral("数据库设置"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFont(songti(14));

    auto* group = new QGroupBox(QStringLiteral("客户数据和来电数据保存在"), this);
    auto* options = new QVBoxLayout(group);
    localOption_ = new QRadioButton(QStringLiteral("本机数据库（程序文件夹里的 data/web.mdb）"), group);
    localOption_->setObjectName(QStringLiteral("localOption"));
    serverOption_ = new QRadioButton(QStringLiteral("服务器数据库（PostgreSQL，多台电脑共用）："), group);
    serverOption_->setObjectName(QStringLiteral("serverOption"));
    options->addWidget(localOption_);
    options->addWidget(serverOption_);
    // The server's fields, below its option and set in from it.
    auto* form = new QFormLayout;
    form->setContentsMargins(24, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    options->addLayout(form);
    host_ = field(form, "hostField", QStringLiteral("服务器："));
    host_->setPlaceholderText(QStringLiteral("192.168.1.10（多台用逗号分开）"));
    port_ = field(form, "portField", QStringLiteral("端口："));
    port_->setPlaceholderText(QStringLiteral("5432"));
    database_ = field(form, "databaseField", QStringLiteral("数据库："));
    user_ = field(form, "userField", QStringLiteral("用户："));
    password_ = field(form, "passwordField", QStringLiteral("密码："));
    password_->setEchoMode(QLineEdit::Password);
    password_->setPlaceholderText(QStringLiteral("不填则使用 ~/.pgpass"));

    test_ = new QPushButton(QStringLiteral("测试连接"), this);
    test_->setObjectName(QStringLiteral("testButton"));
    result_ = new QLabel(this);
    result_->setObjectName(QStringLiteral("resultLabel"));
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::MinimumExpanding);
    ok_ = new QPushButton(QStringLiteral("确定"), this);
    ok_->setObjectName(QStringLiteral("okButton"));
    ok_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(test_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    auto* column = new QVBoxLayout(this);
    column->addWidget(group);
    column->addWidget(result_, 1);
    column->addLayout(buttons);
    // Never smaller than what the fields need; a long text makes it taller.
    column->setSizeConstraint(QLayout::SetMinimumSize);

    // A location given as a URI shows its parts.
    const QMap<QString, QString> p = current.isServer() ? PostgresEngine::parameters(current) : QMap<QString, QString>();
    fromUri_ = !current.uri.isEmpty();
    serverOption_->setChecked(current.isServer());
    localOption_->setChecked(!current.isServer());
    host_->setText(p.value(QStringLiteral("host")));
    port_->setText(p.value(QStringLiteral("port")));
    database_->setText(p.value(QStringLiteral("dbname")));
    user_->setText(p.value(QStringLiteral("user")));
    password_->setText(p.value(QStringLiteral("password")));
    enableFields();
    // Where the password of the saved choice is kept.
    result_->setText(passwordstore::placeText(passwordstore::placeOf(file_)));

    for (QRadioButton* r : {localOption_, serverOption_})
        connect(r, &QRadioButton::toggled, this, &DatabaseSettingsWindow::enableFields);
    for (QLineEdit* e : {host_, port_, database_, user_, password_})
        connect(e, &QLineEdit::textEdited, this, [this] { fromUri_ = false; });
    connect(test_, &QPushButton::clicked, this, &DatabaseSettingsWindow::testConnection);
    connect(ok_, &QPushButton::clicked, this, &DatabaseSettingsWindow::saveChoice);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    centreOnScreen(this);
}

void DatabaseSettingsWindow::enableFields()
{
    for (QLineEdit* e : {host_, port_, database_, user_, password_})
        e->setEnabled(serverOption_->isChecked());
}

DatabaseLocation DatabaseSettingsWindow::choice() const
{
    if (!serverOption_->isChecked())
        return DatabaseLocation::ofFile({});
    // Untouched, a URI given at start stays as it was (its other keywords too).
    if (fromUri_)
        return current_;
    DatabaseLocation l;
    l.kind = DatabaseLocation::Kind::Server;
    l.hosts = host_->text().trimmed();
    l.port = port_->text().trimmed().toInt();
    l.database = database_->text().trimmed();
    l.user = user_->text().trimmed();
    l.password = password_->text();
    return l;
}

void DatabaseSettingsWindow::testConnection() { startTrial(false); }

void DatabaseSettingsWindow::saveChoice() { startTrial(true); }

void DatabaseSettingsWindow::startTrial(bool prepare)
{
    const QString port = port_->text().trimmed();
    if (serverOption_->isChecked() && !port.isEmpty() && (port.toInt() < 1 || port.toInt() > 65535)) {
        showMessage(badPortText);
        port_->setFocus();
        return;
    }
    const DatabaseLocation where = choice();
    test_->setEnabled(false);
    ok_->setEnabled(false);
    result_->setText(QStringLiteral("正在连接……"));
    QPointer<DatabaseSettingsWindow> self(this);
    QThread* thread = QThread::create([self, where, prepare] {
        const databasechoice::Trial t = prepare ? databasechoice::prepare(where) : databasechoice::test(where);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [self, prepare, t] {
                if (self)
                    self->trialDone(prepare, t.ok, t.text);
            },
            Qt::QueuedConnection);
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void DatabaseSettingsWindow::trialDone(bool prepare, bool ok, const QString& text)
{
    test_->setEnabled(true);
    ok_->setEnabled(true);
    result_->setText(text);
    // The whole text shows: the window grows as tall as it needs.
    layout()->activate();
    if (const int need = layout()->totalHeightForWidth(width()); need > height())
        resize(width(), need);
    emit trialEnded(ok, text);
    if (!prepare || !ok)
        return;
    guarded([this] {
        const DatabaseLocation where = choice();
        passwordstore::save(file_, where);
        if (!apply_ || apply_(where))
            accept();
    });
}

void chooseDatabase(MainWindow& main)
{
    DataModule& dm = main.dm();
    DatabaseSettingsWindow w(dm.databaseLocation(), databaseSettingsFile(), [&main, &dm](const DatabaseLocation& where) {
        if (!databasechoice::moveTo(dm, where))
            return false;
        main.activate();
        return true;
    }, &main);
    w.exec();
}
