// The main window's side of the telephone line: 拨号 beside the card's
// phone fields and in the call list, 未接来电 in the menu and the count of
// unseen missed calls in the status bar.

#include <QAction>
#include <QApplication>
#include <QStyle>

#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "ui/kit/dbcontrols.h"
#include "ui/kit/dbgrid.h"
#include "ui/shell/mainwindow.h"
#include "ui/kit/statusbar.h"
#include "ui/calls/missedcallswindow.h"
#include "ui/calls/outgoingcallswindow.h"
#include "ui/calls/phoneline.h"

namespace {

QString fieldText(const DataSet& ds, const char* field)
{
    const QString name = QString::fromUtf8(field);
    return ds.isActive() && ds.findField(name) >= 0 ? ds.text(name) : QString();
}

}  // namespace

void MainWindow::createPhoneLine()
{
    phoneLine_ = new PhoneLine(dm_, *device_, this);
    const QIcon phone = QApplication::style()->standardIcon(QStyle::SP_DialogYesButton);

    // 拨号 inside the right end of 电话, 手机 and 宅电: the number the field shows.
    for (const char* name : {"phoneField", "mobileField", "homePhoneField"}) {
        auto* field = cardPanel->findChild<DBEdit*>(QLatin1String(name));
        if (!field)
            continue;
        auto* dial = new QAction(phone, QStringLiteral("拨号"), field);
        dial->setObjectName(QStringLiteral("dialAction"));
        dial->setToolTip(QStringLiteral("拨号"));
        field->addAction(dial, QLineEdit::TrailingPosition);
        connect(dial, &QAction::triggered, this, [this, field] {
            guarded([&] {
                DataSet* ds = cardSource_ ? cardSource_->dataSet() : nullptr;
                phoneLine_->dial(field->text(), ds ? fieldText(*ds, "联系人") : QString(),
                                 ds ? fieldText(*ds, "公司名称") : QString());
            });
        });
        connect(field, &QLineEdit::textChanged, dial, [this, dial](const QString& text) {
            dial->setVisible(phoneLine_->canDial() && !text.trimmed().isEmpty());
        });
        dialActions_ << dial;
    }

    // 拨号 in the call list's menu: the number of the current call.
    auto* dialCall = new QAction(phone, QStringLiteral("拨号"), callGrid);
    dialCall->setObjectName(QStringLiteral("dialCallAction"));
    callGrid->addAction(dialCall);
    callGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(dialCall, &QAction::triggered, this, [this] {
        guarded([this] {
            const QString number = currentCallNumber();
            if (!number.isEmpty())
                phoneLine_->dial(number, fieldText(dm_.callTable, "联系人"), fieldText(dm_.callTable, "公司名称"));
        });
    });
    dialActions_ << dialCall;
    connect(phoneLine_, &PhoneLine::dialChanged, this, &MainWindow::offerDialling);
    connect(phoneLine_, &PhoneLine::dialled, this,
            [this](const QString& number) { appendLineStatus(QStringLiteral("拨号：") + number); });
    offerDialling(phoneLine_->canDial());

    missedPanel_ = statusPanels->addPanel(QString(), kMissedPanelWidth, Qt::AlignHCenter);
    statusPanels->setPanelWidth(MessagePanel, statusPanels->panelWidth(MessagePanel) - kMissedPanelWidth);
    connect(phoneLine_, &PhoneLine::unseenChanged, this,
            [this](int unseen) { statusPanels->setPanelText(missedPanel_, unseenMissedText(unseen)); });
    connect(missedCallsAction, &QAction::triggered, this, &MainWindow::showMissedCalls);
    connect(outgoingCallsAction, &QAction::triggered, this, &MainWindow::showOutgoingCalls);
    statusPanels->setPanelText(missedPanel_, unseenMissedText(phoneLine_->unseen()));
}

void MainWindow::offerDialling(bool possible)
{
    for (QAction* a : dialActions_) {
        auto* field = qobject_cast<QLineEdit*>(a->parent());
        a->setVisible(possible && (!field || !field->text().trimmed().isEmpty()));
    }
}

QString MainWindow::currentCallNumber() const
{
    const QString mobile = fieldText(dm_.callTable, "手机");
    return mobile.trimmed().isEmpty() ? fieldText(dm_.callTable, "电话") : mobile;
}

void MainWindow::showMissedCalls()
{
    auto* w = new MissedCallsWindow(dm_, *phoneLine_, this);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setObjectName(QStringLiteral("missedCallsWindow"));
    // Modal over the main window like the program's other windows, without
    // an event loop of its own: calls go on being taken while it is open.
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
}

void MainWindow::showOutgoingCalls()
{
    auto* w = new OutgoingCallsWindow(dm_, *phoneLine_, this);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setObjectName(QStringLiteral("outgoingCallsWindow"));
    w->setWindowModality(Qt::ApplicationModal);
    w->show();
}
