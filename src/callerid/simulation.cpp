#include "callerid/simulation.h"

#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/errorreport.h"
#include "app/message.h"
#include "app/randomgen.h"
#include "app/tmain.h"
#include "callerid/callhandling.h"
#include "web/websearch.h"

const QString noTestNumbersText =
    QStringLiteral("没有测试号码：软件目录中没有 tel.txt，或其中没有号码。");

CallSimulation::CallSimulation(Tmain& w) : QObject(&w), w_(w)
{
    connect(w_.BitBtn10, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn10Click(); }); });
    connect(w_.teltest, &QTimer::timeout, this, [this] { guarded([this] { teltestTimer(); }); });
}

void CallSimulation::BitBtn10Click()
{
    if (w_.teltest->isActive()) {
        w_.teltest->stop();
        w_.BitBtn10->setText(QStringLiteral("测试"));
        return;
    }
    if (w_.randomtel->count() == 0) {
        showMessage(noTestNumbersText);
        return;
    }
    w_.teltest->start();
    w_.BitBtn10->setText(QStringLiteral("停止"));
}

void CallSimulation::teltestTimer()
{
    // The list can have been emptied by a reload while the simulation runs.
    const int count = w_.randomtel->count();
    if (count == 0)
        return;
    const int pick = programRandom().below(count);
    w_.calls->setNumber(w_.randomtel->item(pick)->text());
    w_.webTabs->PageControl1Change();
}
