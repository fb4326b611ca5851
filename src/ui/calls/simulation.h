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
    QPushButton* simulationButton = nullptr;   // the test switch
    QTimer* simulationTimer = nullptr;         // 3000 ms
    QListWidget* testNumbers = nullptr;  // the test list
    std::function<void(const QString&)> setNumber;  // the call handling's
    std::function<void()> onTabChanged;       // the tab handling's
};

class CallSimulation : public QObject {
    Q_OBJECT
public:
    CallSimulation(const SimulationParts& parts, QObject* parent);

    // The test switch: starts or stops the simulation.  With an empty test
    // list it does not start and says why.
    void toggleSimulation();
    // One simulated call.
    void playTestCall();

private:
    SimulationParts p_;
};

extern const QString noTestNumbersText;
