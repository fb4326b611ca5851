#pragma once
// Calls played by the program itself: every three seconds a number of the
// test list (tel.txt) goes into the number field as if the caller-ID box
// had reported it.

#include <QObject>
#include <functional>

class QListWidget;
class QPushButton;
class QTimer;

// The controls and services the simulation works with.
struct SimulationParts {
    QPushButton* BitBtn10 = nullptr;   // the test switch
    QTimer* teltest = nullptr;         // 3000 ms
    QListWidget* randomtel = nullptr;  // the test list
    std::function<void(const QString&)> setNumber;  // the call handling's
    std::function<void()> PageControl1Change;       // the tab handling's
};

class CallSimulation : public QObject {
    Q_OBJECT
public:
    CallSimulation(const SimulationParts& parts, QObject* parent);

    // The test switch: starts or stops the simulation.  With an empty test
    // list it does not start and says why.
    void BitBtn10Click();
    // One simulated call.
    void teltestTimer();

private:
    SimulationParts p_;
};

extern const QString noTestNumbersText;
