#pragma once
// Calls played by the program itself: every three seconds a number of the
// test list (tel.txt) is handled as if the caller-ID box had reported it.

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

class CallSimulation : public QObject {
    Q_OBJECT
public:
    // `play` handles one simulated number.
    CallSimulation(std::function<void(const QString&)> play, QObject* parent);

    // The test numbers, as tel.txt lists them.
    void setTestNumbers(const QStringList& numbers) { numbers_ = numbers; }
    const QStringList& testNumbers() const { return numbers_; }

    // The test switch: starts or stops the simulation.  With no test
    // numbers it does not start and says why.
    void toggle();
    bool running() const { return timer_.isActive(); }
    // One simulated call: a number drawn from the test list.
    void playTestCall();

signals:
    void runningChanged(bool running);

private:
    std::function<void(const QString&)> play_;
    QStringList numbers_;
    QTimer timer_;
};

extern const QString noTestNumbersText;
