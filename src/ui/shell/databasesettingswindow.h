#pragma once
// The window that chooses the database (设置 → 数据库设置): the file beside
// the program (本机数据库) or a PostgreSQL server several desks share
// (服务器数据库) with its host, port, database, user and password.
// "测试连接" tries the server and says in words what it found; 确定 makes
// the chosen database ready, saves the choice (the file readable by its
// owner only) and moves the program to it at once: a pending card edit is
// stored first and the lists reopen on the new database.  Connecting runs
// off the window thread; the window keeps painting meanwhile.

#include <QDialog>
#include <functional>

#include "rules/settings/databaselocation.h"

class MainWindow;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class DatabaseSettingsWindow : public QDialog {
    Q_OBJECT
public:
    // Moves the program to the chosen database; false when it could not
    // (the reason was reported).
    using Apply = std::function<bool(const DatabaseLocation&)>;

    // Its controls carry object names: "localOption", "serverOption",
    // "hostField", "portField", "databaseField", "userField",
    // "passwordField", "testButton", "resultLabel", "okButton" and
    // "cancelButton".
    DatabaseSettingsWindow(const DatabaseLocation& current, const QString& settingFile, Apply apply,
                           QWidget* owner = nullptr);

    // The choice the controls show.
    DatabaseLocation choice() const;
    // "测试连接": the result reaches the result label (and trialEnded).
    void testConnection();
    // 确定: for a server the database is made ready first; a refusal or a
    // failed connection is shown and nothing is saved.
    void saveChoice();

signals:
    void trialEnded(bool ok, const QString& text);

private:
    void enableFields();
    void startTrial(bool prepare);
    void trialDone(bool prepare, bool ok, const QString& text);

    QString file_;
    Apply apply_;
    bool fromUri_ = false;  // the location came as a URI (--database)
    DatabaseLocation current_;
    QRadioButton* localOption_;
    QRadioButton* serverOption_;
    QLineEdit* host_;
    QLineEdit* port_;
    QLineEdit* database_;
    QLineEdit* user_;
    QLineEdit* password_;
    QPushButton* test_;
    QPushButton* ok_;
    QLabel* result_;
};

// The menu entry: shows the window over the main window.
void chooseDatabase(MainWindow& main);

extern const QString badPortText;  // 端口不正确 ...
