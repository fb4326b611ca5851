#pragma once
// Shared test fixtures of the windows: a main window over a test program
// folder, and acting on modal windows.

#include <QObject>
#include <QString>
#include <memory>

#include "ui/shell/mainwindow.h"
#include "ui/calls/device.h"
#include "data/module/datamodule.h"
#include "testdb.h"

namespace testutil {

// Acts on the next modal window once it is up: clicks the button with the
// caption, or closes the window when the caption is empty.  The text of the
// window's label named "message" and its title are kept where asked.  Gives
// up, with a warning, when no modal window has come up within the time.
void whenModal(const QString& button, QString* label = nullptr, QString* title = nullptr,
               int timeoutMs = 10000);
// Waits of whenModal() still looking for their window.
int pendingModalWaits();

// The child control with the object name; the test stops at once when the
// window has none.
template <class T>
T* named(const QObject* parent, const QString& name)
{
    T* found = parent->findChild<T*>(name);
    if (!found)
        qFatal("no control named %s", qPrintable(name));
    return found;
}

// A data module, a simulated device and a main window over the current
// program folder (make one with makeProgramFolder() first).
struct MainFixture {
    explicit MainFixture(int deviceState = 0);
    ~MainFixture();
    MainWindow& operator*() { return *w; }
    MainWindow* operator->() { return w.get(); }
    SimulatedDevice device;
    std::unique_ptr<DataModule> dm;
    std::unique_ptr<MainWindow> w;
};

}  // namespace testutil
