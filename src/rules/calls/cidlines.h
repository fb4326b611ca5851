#pragma once
// The text lines that caller-ID hardware sends: a modem's result lines
// (RING, DATE = ..., NMBR = ...) and the lines of a network caller-ID server
// (CID: *DATE*...*NMBR*...*).  Plain functions over bytes; the devices that
// read ports and sockets feed them.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace cid {

// Cuts a byte stream into lines.  CR, LF and CR LF all end a line; empty
// lines are skipped.  A line longer than the limit is dropped whole (up to
// its end), so a stream without line ends never grows the buffer.
class LineSplitter {
public:
    explicit LineSplitter(int maxLength) : max_(maxLength) {}
    QList<QByteArray> feed(const QByteArray& bytes);
    void clear();

private:
    QByteArray pending_;
    bool overlong_ = false;
    int max_;
};

// The longest number and name a device passes on.
constexpr int kMaxNumberLength = 32;
constexpr int kMaxNameLength = 64;

// Control bytes removed (a tab becomes a space), ends trimmed.
QByteArray cleanLine(const QByteArray& line);

// Text of a field: UTF-8 when the bytes are valid UTF-8, else GBK.
QString decodeText(const QByteArray& bytes);

// The number field of a line as the program passes it on: the text as the
// line gives it (decoded like a name, control bytes removed, ends trimmed).
// Empty when it holds no telephone number (no digits: "P" for a private
// call, "O" for out of area) or is longer than kMaxNumberLength.
QString reportedNumber(const QByteArray& number);

// A reported name without control characters or undecodable bytes, trimmed
// and cut to kMaxNameLength.
QString cleanName(const QString& name);

// The time of a call from the line's date (MMDD or MMDDYYYY) and time (HHMM);
// `now` where they are missing or invalid.  A date without a year takes the
// year of `now`.
QDateTime callTime(const QString& date, const QString& time, const QDateTime& now);

// One line of a modem.
struct ModemLine {
    enum Kind { Other, Ring, Ok, Error, Date, Time, Number, Name };
    Kind kind = Other;
    QByteArray value;  // of DATE, TIME, NMBR and NAME lines, trimmed
};
// "RING", "OK", "ERROR" and "KEY = value" lines (spaces around '=' optional,
// keys in any letter case; DDN_NMBR counts as NMBR); anything else is Other.
ModemLine parseModemLine(const QByteArray& line);

// One line of a network caller-ID server.
struct ServerLine {
    enum Kind { Other, Banner, Call, Ring, Hangup };
    Kind kind = Other;
    QByteArray date, time, number, name;  // of a call line
};
// "200 ..." / "210 ..." banners; "CID:" call lines with their *KEY*value*
// fields in any order; "CIDINFO:" lines whose RING field counts rings (> 0)
// or reports the end of ringing (0) or a hang-up (-2); "HUP:" and "END:"
// lines end a call.  Log lines sent at connection (CIDLOG: and the like) and
// anything else are Other.
ServerLine parseServerLine(const QByteArray& line);

}  // namespace cid
