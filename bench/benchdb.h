#pragma once
// The benchmark databases: customers and calls as a small Chinese office
// collects them over the years, made by one deterministic generator that
// every benchmark uses.
//
// Customers are people at companies (several contacts share a company, its
// address, its switchboard and its categories), spread over the office's
// own city (杭州), the rest of its province and other provinces.  Their
// numbers are stored as operators type them: with and without area codes,
// with dashes, spaces, brackets and "+86".  Calls are logged day by day over
// six years (more on weekdays and office hours, more as the business grows),
// most from known customers, each number in the digit form a caller-ID box
// reports, the date as yyyy-M-d and the time as H:mm:ss.
//
// A database is built once per size and generator version into /tmp, then
// reused.  Beside it a small text file lists test numbers: numbers of real
// customers (as a box reports them) and numbers that no customer has.

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class Connection;
class QSqlQuery;

namespace bench {

struct Size {
    int customers;
    qint64 calls;
};
constexpr Size kDefaultSize{100000, 1000000};
constexpr Size kLargeSize{1000000, 10000000};

// Picks the size from the arguments and removes its flag: "--large" for
// kLargeSize, "--tiny" for 10 customers and 10 calls, else kDefaultSize.
Size sizeFromArguments(QStringList* args);
QString sizeText(const Size& size);  // "100,000 customers, 1,000,000 calls"

// The database of that size, built on first use, with the indexes and
// counts the program adds on its first opening.  A cached file is looked at
// read-only; only one that lacks some of them is opened the way the program
// opens it (and so brought up to date, once).  Benchmarks share the file:
// those that only read it open it read-only (ReadOnlyDatabase), the others
// work on a copy.
QString database(const Size& size);
// The same file, taken as it is when it is there (never opened in place:
// it is shared by every benchmark), built on first use.  For benchmarks
// that work on a copy of their own.
QString cachedDatabase(const Size& size);

// Builds a database of that size at `file` (replacing it), with its test
// numbers beside it in `file`.numbers.  database() builds through this.
void buildDatabase(const QString& file, const Size& size);

// A new file with the program's empty tables (its shipped schema).
void createEmptyDatabase(const QString& file);

// The customer columns in table order, without ID.
QStringList customerFields();
// Customer `index` (from 0; its ID is index + 1) of a database with
// `customers` customers: its values in the order of customerFields(), an
// empty text where nothing was typed.
QStringList customerRow(qint64 index, int customers);

// The fields of the customer tree the benchmarks build: at 100,000
// customers some 150,000 nodes, as real customer lists give.
QStringList treeFields();

// A number as the office's box reports it (digits only: no "+86", no
// separators, no extension; the area code only for a call from outside the
// office's city 杭州, 0571).
struct TestNumber {
    QString kind;     // "known mobile", "new, local" ...
    bool known;       // a customer has this number
    QString number;   // as the box reports it
    qint64 id;        // that customer's ID (0 for a new caller)
    QString stored;   // as the customer's record holds it
};
// The test numbers of a database made by database(): for every kind seven
// numbers, the kinds in a fixed order.  Empty when the list is missing.
QVector<TestNumber> testNumbers(const QString& databaseFile);

// The digits of a stored number, "+86" or "0086" and separators removed:
// what the box reports for it from another city, extension included.
QString digitsOf(const QString& stored);

// A connection opened the way the program opens the database (its settings
// and anything it sets up per connection), for the bare runs beside the
// program's own.
std::unique_ptr<Connection> bareConnection(const QString& file, const QString& name = QStringLiteral("bare"));

// A connection that only reads the file (SQLite's read-only open), with
// the digits function the program gives every connection: for bare runs on
// the shared database.  The connection goes with the object.
class ReadOnlyDatabase {
public:
    explicit ReadOnlyDatabase(const QString& file, const QString& name = QStringLiteral("readonly"));
    ~ReadOnlyDatabase();
    ReadOnlyDatabase(const ReadOnlyDatabase&) = delete;
    ReadOnlyDatabase& operator=(const ReadOnlyDatabase&) = delete;
    QSqlDatabase database() const;  // open unless the file could not be read

private:
    QString name_;
};

// Reads a statement's rows to the end, every column of each; the rows read.
qint64 readToEnd(QSqlQuery& q);

// Increase when the generated data changes: the cached files carry it.
constexpr int kGeneratorVersion = 3;

}  // namespace bench
