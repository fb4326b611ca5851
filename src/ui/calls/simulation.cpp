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
    connect(p_.simulationButton, &QPushButton::clicked, this, [this] { guarded([this] { toggleSimulation(); }); });
    connect(p_.simulationTimer, &QTimer::timeout, this, [this] { guarded([this] { playTestCall(); }); });
}

void CallSimulation::toggleSimulation()
{
    if (p_.simulationTimer->isActive()) {
        p_.simulationTimer->stop();
        p_.simulationButton->setText(QStringLiteral("测试"));
        return;
    }
    if (p_.testNumbers->count() == 0) {
        showMessage(noTestNumbersText);
        return;
    }
    p_.simulationTimer->start();
    p_.simulationButton->setText(QStringLiteral("停止"));
}

void CallSimulation::playTestCall()
{
    // The list can have been emptied by a reload while the simulation runs.
    const int count = p_.testNumbers->count();
    if (count == 0)
        return;
    const int pick = programRandom().below(count);
    p_.setNumber(p_.testNumbers->item(pick)->text());
    p_.onTabChanged();
}
