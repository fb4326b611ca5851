#pragma once
// Calls played by the program itself: every three seconds a number of the
// test list (tel.txt) goes into the number field as if the caller-ID box
// had reported it.

#include <QObject>

class Tmain;

class CallSimulation : public QObject {
    Q_OBJECT
public:
    explicit CallSimulation(Tmain& w);

    // The test switch: starts or stops the simulation.  With an empty test
    // list it does not start and says why.
    void BitBtn10Click();
    // One simulated call.
    void teltestTimer();

private:
    Tmain& w_;
};

extern const QString noTestNumbersText;
