#include "ui/calls/simulation.h"

#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "rules/app/errorreport.h"
#include "ui/app/message.h"
#include "rules/calls/randomgen.h"

const QString noTestNumbersText =
    QStringLiteral("没有测试号码：软件目录中没有 tel.txt，或其中没有号码。");

CallSimulation::CallSimulation(const SimulationParts& parts, QObject* parent)
    : QObject(parent), p_(parts)
{
    connect(p_.BitBtn10, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn10Click(); }); });
    connect(p_.teltest, &QTimer::timeout, this, [this] { guarded([this] { teltestTimer(); }); });
}

void CallSimulation::BitBtn10Click()
{
    if (p_.teltest->isActive()) {
        p_.teltest->stop();
        p_.BitBtn10->setText(QStringLiteral("测试"));
        return;
    }
    if (p_.randomtel->count() == 0) {
        showMessage(noTestNumbersText);
        return;
    }
    p_.teltest->start();
    p_.BitBtn10->setText(QStringLiteral("停止"));
}

void CallSimulation::teltestTimer()
{
    // The list can have been emptied by a reload while the simulation runs.
    const int count = p_.randomtel->count();
    if (count == 0)
        return;
    const int pick = programRandom().below(count);
    p_.setNumber(p_.randomtel->item(pick)->text());
    p_.PageControl1Change();
}
