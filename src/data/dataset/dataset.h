#pragma once
// A data set: the rows of one statement with a current record, moved through,
// edited and stored the way the windows expect.
//
// Large results are never read whole.  A statement ordered by its ID column
// opens with a count; the keys of the rows are read as rows are needed, from
// the nearer end, and the rows a page at a time.  Other statements with an
// ID column read only the keys (one pass, like a count): the first screen of
// them at once, the rest, when that takes longer than a moment, by long work
// on a connection of its own while the window goes on, the rows appearing as
// they come.  Results without an ID column (distinct lists and the like) are
// small and read whole.  A row that cannot be read (the table gone, a disk
// error, the database locked by another program) is reported, never shown or
// kept as an empty row, and a record that could not be read cannot be edited.
//
// Counts and background reads never hold up a store: the database keeps a
// write-ahead log, so they read the list as it was opened while records are
// stored beside them, and the records a data set stores itself are added to
// its rows once, never counted or read a second time.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "data/connection/connectionmember.h"
#include "data/dataset/editbuffer.h"
#include "data/dataset/statementshape.h"
#include "rules/statements/query.h"

class Connection;
class QSqlQuery;
struct DataSetRows;
struct WorkOutcome;

class DataSet : public QObject, public ConnectionMember {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    DataSet(Connection* connection, const QString& name, QObject* parent = nullptr);
    ~DataSet() override;

    const QString& name() const { return name_; }
    Connection* connection() const { return connection_; }

    // --- statement, open, close ---------------------------------------
    // The statement from its parts: the table, the key order and the values
    // are taken from it as they are (see query.h).
    void setQuery(const Query& query);
    // A statement whose text is kept as written, with what its writer says of it.
    void setStatement(const WrittenStatement& statement);
    // The statement's text, as it is shown.
    const QString& commandText() const { return sql_; }
    // Whether it has a statement at all.
    bool hasStatement() const { return !sql_.isEmpty(); }
    void open();   // opens the connection on demand; no-op when active

    // Reopens with a new statement the way a search does: a pending edit or
    // insert is ended first the way a move ends it (a changed record stored,
    // an unchanged one abandoned).  When that store fails, the failure is
    // reported, the data set stays as it is with the typing kept, and the
    // answer is false.  Errors of the reopen itself are thrown.
    bool reopen(const WrittenStatement& statement);
    bool reopen(const Query& query);
    // The same statement again (after the database was replaced).
    bool reopen();
    // The same, taking the statement and the rows of another open data set
    // instead of running the statement again; `from` is left closed.
    bool reopenWith(DataSet& from);
    // Ends a pending edit or insert the way a move does; a failed store is
    // reported and gives false.
    bool endPendingEdit();
    // Reads the rows anew with the same statement (rows other desks stored
    // meanwhile appear) and stays on the same record when it is still
    // among them.  A list in the order of its key only takes in the rows
    // of the statement stored since it opened, each at its place; any
    // other list is read again.  Only in browse state: false, and nothing
    // done, while a record is edited or inserted (datasetrefresh.cpp).
    bool refresh();
    void close() override;  // discards a pending edit or insert
    bool isActive() const { return state_ != State::Inactive; }
    State state() const { return state_; }

    // --- fields (names compared without regard to case) -----------------
    const QStringList& fieldNames() const { return fields_; }
    int fieldCount() const { return int(fields_.size()); }
    int findField(const QString& name) const;   // -1 when absent
    int fieldIndex(const QString& name) const;  // throws "Field 'x' not found"

    // Values of the current record (the edit buffer while editing/inserting).
    QVariant value(int field) const;
    QVariant value(const QString& name) const { return value(fieldIndex(name)); }
    QString text(int field) const;  // NULL reads as ""
    QString text(const QString& name) const { return text(fieldIndex(name)); }
    // Writes need edit or insert state; an empty text is stored as NULL.
    void setValue(int field, const QVariant& v);
    void setValue(const QString& name, const QVariant& v) { setValue(fieldIndex(name), v); }
    bool isModified() const { return edit_.modified(); }
    // False while the current record could not be read (it shows nothing
    // and cannot be edited); asking tries the read again.
    bool recordReadable() const;

    // --- position ---------------------------------------------------------
    // Stored records known now (a pending insert not counted): while a long
    // list is counted or read, those known so far.  Never waits.
    int recordCount() const;
    // Waits for a count or a background read under way, applies it (the
    // open's held events run) and gives the records then stored.  Blocks
    // the calling thread: only where the whole count is needed at once.
    int waitForCount();
    bool countPending() const override;  // a long list is still being counted
    // The rest of the rows is still being read in the background.  Moves and
    // the grid use the rows known so far; a move past them and last() wait
    // for the rest (waitForCount()).
    bool loading() const;
    // Asks the background read to stop: the rows found so far stay, and the
    // list is then partial().
    void stopLoading();
    // The rows are only those found before the read was stopped (or failed).
    bool partial() const;
    // Rows are read by key a page at a time (not kept whole).
    bool readsByKey() const;
    int openedAs() const override;  // opens are numbered in order
    int recNo() const;        // from 1; -1 when empty or inserting
    // No record, and none still to come.
    bool isEmpty() const { return recordCount() == 0 && !eventsHeld() && state_ != State::Insert; }
    bool eof() const { return eof_; }
    bool bof() const { return bof_; }

    // Every move first ends a pending edit or insert: a changed record is
    // stored, an unchanged one abandoned.
    void first();
    void last();
    void next();
    void prior();
    void moveBy(int distance);
    void moveTo(int row);  // to a grid row (from 0, clamped); see rowCount()

    // --- editing ------------------------------------------------------------
    void append();  // new record at the end
    void insert();  // new record before the current one
    void edit();    // on an empty data set starts a new record instead
    void post();    // stores a pending edit or insert (an insert with every field empty is dropped); nothing in browse
    void cancel();
    // Deleting a new record abandons it.  Deleting a stored record asks the
    // before-delete step first; returns false when it was cancelled.
    bool remove();
    void checkBrowseMode();  // posts a changed record, cancels an unchanged one

    // --- display updates ----------------------------------------------------
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return disabled_ > 0; }

    // --- rows as a grid sees them (a pending insert is a row of its own) ----
    int rowCount() const;
    int currentRow() const;  // -1 when there is no record
    // Reads the row when it is not at hand (the page around it).
    QVariant rowValue(int row, int field) const;
    bool isInsertRow(int row) const;
    // The value as a grid paints it: never waits for the database.  A row
    // not at hand reads as nothing and is read in the background, on a
    // connection of its own (keys first where they are not known yet);
    // rowsRead() follows once it is at hand (datasetshown.cpp).
    QVariant shownValue(int row, int field) const;
    // The row's values are at hand: neither rowValue() nor shownValue() waits.
    bool rowAtHand(int row) const;

    // --- events -----------------------------------------------------------------
    using Event = std::function<void(DataSet&)>;
    void setAfterOpen(Event e) { afterOpen_ = std::move(e); }
    void setAfterScroll(Event e) { afterScroll_ = std::move(e); }
    void setAfterInsert(Event e) { afterInsert_ = std::move(e); }
    // Returns false to cancel the deletion silently.
    void setBeforeDelete(std::function<bool(DataSet&)> e) { beforeDelete_ = std::move(e); }

    // Rows fetched and kept at most (pages of rows); tests make it small.
    static constexpr int kPageSize = 100;
    // Keys read when a list ordered by its key opens; a longer list is
    // counted in the background and its open events run once it is counted.
    // A list read in the background shows this many keys (or what came
    // within kFirstWaitMs) at once; its open events run once it is read.
    static constexpr int kFirstKeys = 2000;
    static constexpr int kFirstWaitMs = 40;
    // Waits for a count under way and applies it.
    void finishCount() override;
    // Waits for the background read under way and takes its rows.
    void finishLoad();
    void setCachedPages(int pages) { maxPages_ = pages; }
    // The statements this data set runs find few rows through an index (the
    // caller lookup): each is run once on the window's connection, its
    // rows read whole, instead of its keys first and its rows after.
    void setReadAtOnce(bool atOnce) { readAtOnce_ = atOnce; }

    // Tests slow the background readers down at fixed points, on their own
    // threads: before a count runs (its view of the database already fixed),
    // after each batch of keys a background read hands over, and before a
    // count fixes its view.
    struct WorkerPauses {
        std::function<void()> beforeCount;
        std::function<void(qint64 keysSoFar)> afterBatch;
        std::function<void()> beforeView;
        // Before each background read of the rows a grid painted, and after
        // it, before its rows are sent to the window.
        std::function<void()> beforeRows;
        std::function<void()> afterRows;
    };
    static void setWorkerPauses(WorkerPauses pauses);

signals:
    // For the data-aware controls; held back while controls are disabled.
    void layoutChanged();         // opened or closed: everything is new
    void rowInserted(int row);    // a row appeared at this grid row
    void rowRemoved(int row);     // this grid row went away
    void rowsAppended(int first, int count);  // the count or read rows came: rows after the known ones
    void rowChanged(int row);     // one row's values changed
    // Rows painted without their values have them now: paint them again.
    void rowsRead(int first, int count);
    void recordChanged();         // the current record or its values changed
    void stateChanged();
    // A background read began (true) or ended (false; see partial()).
    void loadingChanged(bool loading);

private:
    // The rows (dataset.cpp): open, the statement's shape, reading a row.
    using Shape = StatementShape;
    Shape shape() const;
    bool openKeyed(DataSetRows& st, const Shape& shape, const QString& key, bool* readGoesOn);
    void readWhole(DataSetRows& st, const BoundStatement& statement);
    void followRead();
    bool fetchRow(int index, QVector<QVariant>* out, QString* error) const;
    QVector<QVariant> row(int index) const;  // stored record by index; throws when unreadable
    bool loadKeys(int index, QString* error) const;
    void storeUnlessChanged(DataSetRows& st, const EditBuffer::Statement& update);
    QString conflictText(const QVector<QVariant>& theirs, bool gone) const;
    void reportLater(const QString& text) const;
    // The value of a row being edited or inserted (true), from the edit
    // buffer; otherwise `row` becomes the index of the stored row it shows.
    bool editedValue(int* row, int field, QVariant* value) const;
    void requireActive() const;
    void requireEditing() const;
    // Counts and background reads (datasetcount.cpp).
    void startCount();
    void countArrived(int generation);
    void endCount();  // stops a count under way and lets its thread go
    void takeLoaded();
    void loadEnded(const WorkOutcome& outcome);
    void endLoad();  // stops a background read and lets its thread go
    bool eventsHeld() const;  // the open's events wait for a count or a read
    int knownCount() const { return rowCount() - (state_ == State::Insert ? 1 : 0); }
    // The rows up to `row` are known, waiting for a count or read if need be.
    int countReaching(int row);
    // `n` rows came and stand from row `at` on (before rows stored here
    // while they were still coming).
    void rowsArrived(int at, int n);
    // Joins the background count and applies it; `announce` tells the views.
    void settleCount(bool announce);
    void runHeldEvents();
    void connectionGone() override;  // the connection is being destroyed
    // The rows a grid painted without having them (datasetshown.cpp).
    static constexpr int kWantedPages = 8;   // the latest pages asked for, read newest first
    static constexpr int kKeysPerRead = 200000;
    void wantPage(int page);
    void readWanted();
    void readKeysToward(int page, int row);
    void readPage(int page, int from, int to);
    void pageFailed(int page, const QString& error);
    void dropWanted(int page);
    void announceRead(int from, int to);
    // Moves and edits (datasetedit.cpp).
    void storeInsert();
    bool insertIsBlank() const;  // no field of the new record holds anything
    void storeEdit();
    bool takeInNewerRows();
    void openAtOnce(DataSetRows& st, const Shape& sh);
    QVector<QVector<QVariant>> readRemainingRows(QSqlQuery& q, int n) const;
    void finishOpen(std::unique_ptr<DataSetRows> store, bool readGoesOn);
    void noteStored(qint64 key);
    void noteRemoved(qint64 key);
    void enterInsert(int position);
    void setState(State s);
    void doAfterScroll();
    void scrollTo(int index);  // makes the stored record current, then after-scroll
    void opened();             // the rows are in place: browse the first
    // Notifications, held back while controls are disabled.
    void notifyLayout();
    void notifyRecord();
    void notifyRow(int row);
    void notifyInserted(int row);
    void notifyRemoved(int row);

    Connection* connection_;
    QString name_;
    QString sql_;
    std::optional<Query> query_;  // when the statement was given by its parts
    WrittenStatement written_;    // else
    State state_ = State::Inactive;
    QStringList fields_;
    std::unique_ptr<DataSetRows> store_;
    int cur_ = -1;  // index of the current stored record
    bool eof_ = true;
    bool bof_ = true;
    EditBuffer edit_;  // the record being edited or inserted
    int insertPos_ = -1;
    int disabled_ = 0;
    bool pendingLayout_ = false;
    bool pendingRecord_ = false;
    int maxPages_ = 64;
    bool readAtOnce_ = false;
    mutable QString failedText_;
    int generation_ = 0;  // one more at every open and close
    int openedAs_ = 0;
    mutable bool reportPending_ = false;
    Event afterOpen_, afterScroll_, afterInsert_;
    std::function<bool(DataSet&)> beforeDelete_;
};
