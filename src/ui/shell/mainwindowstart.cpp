// The activation step: once after the first show, again after a restore.

#include "ui/shell/mainwindow.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "data/lists/reopen.h"
#include "data/module/datamodule.h"
#include "rules/errors/errorreport.h"
#include "rules/files/textfile.h"
#include "rules/statements/tablenames.h"
#include "ui/calls/simulation.h"
#include "ui/kit/updownbox.h"
#include "ui/lists/customerlist.h"
#include "ui/lists/fieldchoicefile.h"
#include "ui/lists/gridlayout.h"
#include "ui/lists/gridlayoutbuttons.h"
#include "ui/maintenance/maintenance.h"
#include "ui/records/dictionary.h"
#include "ui/web/addresses.h"
#include "ui/web/browser.h"

namespace {
constexpr int kFreeBelowWindow = 28;
}  // namespace

void MainWindow::activate()
{
    ++activationRun_;  // steps of an activation still under way are dropped
    const bool done = guarded([&] {
        for (const ActivationStep& step : activationSteps())
            if (!step())
                break;
    });
    endActivation(done);
}

// The steps one per turn of the event loop: the window answers between them
// (opening the database, each list, the choice lists each take their time).
void MainWindow::activateInTurns()
{
    ++activationRun_;
    auto steps = std::make_shared<const QVector<ActivationStep>>(activationSteps());
    auto next = std::make_shared<std::function<void(int)>>();
    *next = [this, steps, run = activationRun_, weakNext = std::weak_ptr(next)](int i) {
        if (run != activationRun_)
            return;  // activated anew meanwhile
        bool goOn = true;
        const bool done = guarded([&] { goOn = (*steps)[i](); });
        if (done && goOn && i + 1 < steps->size()) {
            QTimer::singleShot(0, this, [next = weakNext.lock(), i] { (*next)(i + 1); });
            return;
        }
        endActivation(done);
    };
    // The chain holds itself until its last step has run.
    QTimer::singleShot(0, this, [next] { (*next)(0); });
}

void MainWindow::endActivation(bool done)
{
    if (!done && !dm_.connection.isConnected())
        setMessage(databaseNotOpenText);
    if (!startNotes_.isEmpty()) {
        const QString said = panelText(MessagePanel);
        setMessage((said.isEmpty() ? QString() : said + QStringLiteral("  ")) + startNotes_.join(QStringLiteral("  ")));
        startNotes_.clear();
    }
}

// Each step gives false when the remaining ones must not run.
QVector<MainWindow::ActivationStep> MainWindow::activationSteps()
{
    return {[this] { return placeAndCheckDatabase(); },
            [this] {
                if (!dm_.serverReachable()) {
                    // The server is not reached yet (tried off the window
                    // thread): the lists open when it answers (and fill
                    // their search fields then).
                    dm_.customerTable.setStatement(wholeList(tables::customers()));
                    dm_.callTable.setStatement(wholeList(tables::calls()));
                } else {
                    openCustomers();
                }
                return true;
            },
            [this] {
                if (dm_.serverReachable())
                    openCalls();
                return true;
            },
            [this] {
                loadListSettings();
                return true;
            }};
}

bool MainWindow::placeAndCheckDatabase()
{
    cardFocusTimer->start();

    // Bottom right of the screen, 28 pixels left free below the window.
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
        // On a screen smaller than the window its top-left corner stays on
        // the screen, so that the menu bar can be reached.
        const QRect screenRect = s->geometry();
        const QSize outer = frameGeometry().size();
        move(std::max(screenRect.left(), screenRect.left() + screenRect.width() - outer.width()),
             std::max(screenRect.top(), screenRect.top() + screenRect.height() - outer.height() - kFreeBelowWindow));
    }

    // The start pages.  A call that came before the first activation ran
    // keeps its searches (a restore's activation shows the pages anew).
    const bool atStart = !startPagesSent_;
    startPagesSent_ = true;
    auto startPage = [atStart](Browser* b, const QString& address) {
        if (!atStart || b->address().isEmpty())
            b->navigate(address);
    };
    startPage(googleBrowser, webaddr::productPage1);
    startPage(yahooBrowser, webaddr::productPage2);
    startPage(baiduBrowser, webaddr::productPage3);
    startPage(infoBrowser, webaddr::infoSite);
    startPage(updateBrowser, webaddr::updatePage);
    startPage(googleSideBrowser, webaddr::sidePage(webaddr::startSidePage));

    // An old Access database is converted first; the activation runs again
    // once the converted one is in place.
    if (maintenance_ && !maintenance_->moveInOldDatabase([this] { activate(); }))
        return false;
    // An empty or damaged file is set aside before anything opens it.
    if (maintenance_ && !maintenance_->setAsideUnusableDatabase()) {
        setMessage(databaseNotOpenText);
        return false;
    }
    return true;
}

void MainWindow::loadListSettings()
{
    // Grid layouts.  A damaged file is reported and its grid keeps its
    // columns; the rest of the activation still runs.
    guarded([this] { gridlayout::loadIfPresent(*customerGrid, customerGridLayout_->filePath()); });
    guarded([this] { gridlayout::loadIfPresent(*callGrid, callGridLayout_->filePath()); });

    if (dm_.serverReachable())
        dictionary_->refreshChoiceLists();

    setCallDateToToday();

    const QString telFile = folder_ + QStringLiteral("tel.txt");
    if (QFileInfo::exists(telFile))
        simulation_->setTestNumbers(readTextLines(telFile));

    // The tree file is read beside the window; a damaged one is reported
    // once read, with the nodes read so far kept.
    guarded([this] { customerList_->loadTreeFile(); });

    restoreSearchFields(callSearchField, customerSearchField);
}

void MainWindow::openCustomers()
{
    dm_.customerTable.reopen(wholeList(tables::customers()));
    fillSearchFields(customerSearchField, dm_.customerTable);
}

void MainWindow::openCalls()
{
    dm_.callTable.reopen(wholeList(tables::calls()));
    fillSearchFields(callSearchField, dm_.callTable);
}

void MainWindow::fillSearchFields(QComboBox* box, const DataSet& list)
{
    box->clear();
    box->addItems(list.fieldNames());
    box->setCurrentIndex(0);
}

void MainWindow::setCallDateToToday()
{
    const QDate today = QDate::currentDate();
    callYearBox->setValue(today.year());
    callMonthBox->setValue(today.month());
    callDayBox->setValue(today.day());
}

