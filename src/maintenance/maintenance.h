#pragma once
// Looking after the database from the menus: "压缩数据库", "备份数据库",
// "恢复数据库", "清空客户数据", "清空来电数据", and the moving-in of an old
// Access database found at data/web.mdb when the program starts.

#include <QDialog>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class DataSet;
class QLabel;
class QPushButton;
class TDataModule1;
class TableReader;

// The clearing confirmation window: a question with "是" and "否".  It opens
// at its own place on the screen, Enter presses the button with the focus
// and Escape does not close it.
class Tdelete_queren : public QDialog {
    Q_OBJECT
public:
    Tdelete_queren(bool& answer, QWidget* owner = nullptr);

    QLabel* Label1;
    QPushButton* Button1;  // 是
    QPushButton* Button2;  // 否

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    bool& answer_;
};

class Maintenance : public QObject {
    Q_OBJECT
public:
    // `activate` runs the main window's whole activation step (after a
    // restore).
    Maintenance(TDataModule1& dm, QWidget* owner, std::function<void()> activate);

    // The file dialogs; tests put their own answer in.  An empty name means
    // the operator cancelled.
    struct FileRequest {
        bool save = false;
        QString title;
        QString filter;  // "name|pattern" pairs joined by "|"
        QString defaultSuffix;
    };
    using FileDialog = std::function<QString(const FileRequest&)>;
    void setFileDialog(FileDialog dialog) { fileDialog_ = std::move(dialog); }

    // How Access files are opened (openTableReader() unless tests say else).
    using ReaderOpener =
        std::function<std::unique_ptr<TableReader>(const QString& path, QString* error)>;
    void setReaderOpener(ReaderOpener opener) { openReader_ = std::move(opener); }

    // The handlers of the menu entries.
    void N6Click();   // 压缩数据库
    void N14Click();  // 备份数据库
    void N15Click();  // 恢复数据库
    void N18Click();  // 清空客户数据
    void N19Click();  // 清空来电数据

    // Converts an old Access database found at data/web.mdb into one of this
    // program (the original stays as data/web.mdb.jet) and says what came
    // over.  Returns false when the file could not be converted.
    bool moveInOldDatabase();

    // True once "是" was pressed in the clearing window since the last reset.
    bool clearingAnswer = false;

    static QString databasePath();  // program folder + data/web.mdb

private:
    QString askFile(const FileRequest& request);
    void clearTable(DataSet& ds, const QString& message, const QString& statement);

    TDataModule1& dm_;
    QWidget* owner_;
    std::function<void()> activate_;
    FileDialog fileDialog_;
    ReaderOpener openReader_;
};
