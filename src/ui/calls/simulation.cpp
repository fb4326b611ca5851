#include "ui/calls/simulation.h"

#include "rules/errors/errorreport.h"
#include "rules/calls/randomgen.h"
#include "ui/kit/message.h"

const QString noTestNumbersText =
    QStringLiteral("没有测试号码：软件目录中没有 tel.txt，或其中没有号码。");

CallSimulation::CallSimulation(std::function<void(const QString&)> play, QObject* parent)
    : QObject(parent), play_(std::move(play))
{
    timer_.setObjectName(QStringLiteral("simulationTimer"));
    timer_.setParent(this);
    timer_.setInterval(3000);
    connect(&timer_, &QTimer::timeout, this, [this] { guarded([this] { playTestCall(); }); });
}

void CallSimulation::toggle()
{
    if (timer_.isActive()) {
        timer_.stop();
        emit runningChanged(false);
        return;
    }
    if (numbers_.isEmpty()) {
        showMessage(noTestNumbersText);
        return;
    }
    timer_.start();
    emit runningChanged(true);
}

void CallSimulation::playTestCall()
{
    // The list can have been emptied by a reload while the simulation runs.
    const int count = int(numbers_.size());
    if (count == 0)
        return;
    play_(numbers_.at(programRandom().below(count)));
}
