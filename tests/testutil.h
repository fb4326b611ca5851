#pragma once
// Shared test fixtures: databases made from the shipped schema and program
// folders laid out like the real one.

#include <QString>
#include <memory>

#include "app/tmain.h"
#include "callerid/device.h"
#include "db/datam.h"

namespace testutil {

// Creates a database file from the schema (path from TAVRIN_SCHEMA) and
// returns its path.  An existing file is replaced.
QString makeDatabase(const QString& file);

// Creates a fresh temporary program folder holding data/web.mdb and set/,
// points programFolder() at it and returns it (ending in '/').  The folder
// lives until the test program ends.
QString makeProgramFolder();

// Adds n customers 客户1 … 客户n (分类1 alternating "甲"/"乙", 手机 139000000NN).
void addCustomers(const QString& file, int n);

// Runs statements on the file through a connection of its own.
void execute(const QString& file, const QString& sql);

// Acts on the next modal window once it is up: clicks the button with the
// caption, or closes the window when the caption is empty.  The window's
// Label1 text and title are kept where asked.
void whenModal(const QString& button, QString* label = nullptr, QString* title = nullptr);

// A data module, a simulated device and a main window over the current
// program folder (make one with makeProgramFolder() first).
struct MainFixture {
    explicit MainFixture(int deviceState = 0);
    ~MainFixture();
    Tmain& operator*() { return *w; }
    Tmain* operator->() { return w.get(); }
    SimulatedDevice device;
    std::unique_ptr<TDataModule1> dm;
    std::unique_ptr<Tmain> w;
};

}  // namespace testutil
