#pragma once
// The embedded web browser as the program uses it: navigation to an address,
// nothing else.  The program creates web views; tests get browsers that only
// record the addresses they were sent to.

#include <QStringList>
#include <QWidget>
#include <functional>

class Browser : public QWidget {
    Q_OBJECT
public:
    explicit Browser(QWidget* parent = nullptr) : QWidget(parent) {}
    virtual void navigate(const QString& address) = 0;

    // Every address this browser was sent to, oldest first.
    const QStringList& history() const { return history_; }
    QString address() const { return history_.isEmpty() ? QString() : history_.last(); }

protected:
    void record(const QString& address) { history_.append(address); }

private:
    QStringList history_;
};

// Shows the last address as text instead of loading it.
class RecordingBrowser : public Browser {
    Q_OBJECT
public:
    explicit RecordingBrowser(QWidget* parent = nullptr);
    void navigate(const QString& address) override;

private:
    class QLabel* label_;
};

using BrowserFactory = std::function<Browser*(QWidget* parent)>;
// The factory used by createBrowser(); recording browsers until the program
// installs real web views.
void setBrowserFactory(BrowserFactory factory);
Browser* createBrowser(QWidget* parent);

// Installs the factory of real web views (QtWebEngine).
void useWebEngineBrowsers();

// Before the application is made: the window and its web pages are drawn by
// the processor instead of through OpenGL.  The pages are plain search
// results; drawn in software they need no graphics driver (a desk whose
// driver is broken still shows them), and neither the driver nor its shader
// compiler (some 60 MB with Mesa's) is loaded.  Settings given from outside
// (QT_QUICK_BACKEND, QT_XCB_GL_INTEGRATION, any of the engine's "-gpu"
// flags) are kept.
void drawWithoutOpenGL();
