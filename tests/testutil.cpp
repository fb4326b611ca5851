#include "testutil.h"

#include <QApplication>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace testutil {

namespace {
int g_pendingWaits = 0;

void lookForModal(const QString& button, QString* label, QString* title, qint64 deadline)
{
    QTimer::singleShot(10, [=] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            if (QDateTime::currentMSecsSinceEpoch() >= deadline) {
                --g_pendingWaits;
                qWarning("whenModal: no modal window came up; gave up waiting");
                return;
            }
            lookForModal(button, label, title, deadline);
            return;
        }
        --g_pendingWaits;
        if (label)
            if (auto* l = w->findChild<QLabel*>(QStringLiteral("message")))
                *label = l->text();
        if (title)
            *title = w->windowTitle();
        if (button.isEmpty()) {
            w->close();
            return;
        }
        for (QPushButton* b : w->findChildren<QPushButton*>())
            if (b->text() == button) {
                b->click();
                return;
            }
    });
}
}  // namespace

void whenModal(const QString& button, QString* label, QString* title, int timeoutMs)
{
    ++g_pendingWaits;
    lookForModal(button, label, title, QDateTime::currentMSecsSinceEpoch() + timeoutMs);
}

int pendingModalWaits() { return g_pendingWaits; }

MainFixture::MainFixture(int deviceState)
{
    device.setState(deviceState);
    dm = std::make_unique<DataModule>();
    w = std::make_unique<MainWindow>(*dm, device);
}

MainFixture::~MainFixture()
{
    w.reset();
    dm.reset();
}

}  // namespace testutil
