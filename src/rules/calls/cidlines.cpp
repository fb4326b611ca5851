#include "rules/calls/cidlines.h"

#include <QStringDecoder>

#include "rules/files/textfile.h"
#include "rules/calls/callrules.h"

namespace cid {

QList<QByteArray> LineSplitter::feed(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!overlong_ && !pending_.isEmpty())
                lines.append(pending_);
            pending_.clear();
            overlong_ = false;
        } else if (!overlong_) {
            if (pending_.size() >= max_) {
                pending_.clear();
                overlong_ = true;
            } else {
                pending_.append(c);
            }
        }
    }
    return lines;
}

void LineSplitter::clear()
{
    pending_.clear();
    overlong_ = false;
}

QByteArray cleanLine(const QByteArray& line)
{
    QByteArray out;
    out.reserve(line.size());
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\t')
            out.append(' ');
        else if (u >= 0x20 && u != 0x7f)
            out.append(c);
    }
    return out.trimmed();
}

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    return fromGbk(bytes);
}

QString reportedNumber(const QByteArray& number)
{
    const QString text = decodeText(cleanLine(number));
    if (text.size() > kMaxNumberLength || numberDigits(text).isEmpty())
        return {};
    return text;
}

QString cleanName(const QString& name)
{
    QString out;
    for (const QChar c : name) {
        if (c == QChar::ReplacementCharacter || c.category() == QChar::Other_Control ||
            c.isSurrogate() || c.category() == QChar::Other_Format)
            continue;
        out.append(c);
    }
    out = out.trimmed();
    out.truncate(kMaxNameLength);
    return out;
}

namespace {

int digitsValue(const QString& text, int from, int count, bool* ok)
{
    int v = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < '0' || u > '9') {
            *ok = false;
            return 0;
        }
        v = v * 10 + (u - '0');
    }
    return v;
}

}  // namespace

QDateTime callTime(const QString& date, const QString& time, const QDateTime& now)
{
    bool ok = true;
    QDate d = now.date();
    if (date.size() == 4 || date.size() == 8) {
        const int month = digitsValue(date, 0, 2, &ok);
        const int day = digitsValue(date, 2, 2, &ok);
        const int year = date.size() == 8 ? digitsValue(date, 4, 4, &ok) : now.date().year();
        const QDate parsed(year, month, day);
        if (ok && parsed.isValid())
            d = parsed;
    }
    QTime t = now.time();
    ok = true;
    if (time.size() == 4) {
        const int hour = digitsValue(time, 0, 2, &ok);
        const int minute = digitsValue(time, 2, 2, &ok);
        const QTime parsed(hour, minute);
        if (ok && parsed.isValid())
            t = parsed;
    }
    return QDateTime(d, t);
}

ModemLine parseModemLine(const QByteArray& raw)
{
    const QByteArray line = cleanLine(raw);
    const QByteArray upper = line.toUpper();
    ModemLine out;
    if (upper == "RING" || upper.startsWith("RING ")) {
        out.kind = ModemLine::Ring;
        return out;
    }
    if (upper == "OK") {
        out.kind = ModemLine::Ok;
        return out;
    }
    if (upper == "ERROR") {
        out.kind = ModemLine::Error;
        return out;
    }
    const qsizetype eq = line.indexOf('=');
    if (eq <= 0)
        return out;
    const QByteArray key = upper.left(eq).trimmed();
    if (key == "DATE")
        out.kind = ModemLine::Date;
    else if (key == "TIME")
        out.kind = ModemLine::Time;
    else if (key == "NMBR" || key == "DDN_NMBR")
        out.kind = ModemLine::Number;
    else if (key == "NAME")
        out.kind = ModemLine::Name;
    else
        return out;
    out.value = line.mid(eq + 1).trimmed();
    return out;
}

ServerLine parseServerLine(const QByteArray& raw)
{
    const QByteArray line = cleanLine(raw);
    ServerLine out;
    if (line == "200" || line == "210" || line.startsWith("200 ") || line.startsWith("210 ")) {
        out.kind = ServerLine::Banner;
        return out;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return out;
    const QByteArray type = line.left(colon).toUpper();
    if (type != "CID" && type != "CIDINFO" && type != "HUP" && type != "END")
        return out;
    if (type == "HUP" || type == "END") {
        out.kind = ServerLine::Hangup;
        return out;
    }

    // *KEY*value*KEY*value*...*
    QList<QByteArray> parts = line.mid(colon + 1).trimmed().split('*');
    if (!parts.isEmpty() && parts.first().trimmed().isEmpty())
        parts.removeFirst();
    QByteArray ring;
    bool hasRing = false;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QByteArray key = parts[i].trimmed().toUpper();
        const QByteArray value = parts[i + 1].trimmed();
        if (key == "DATE")
            out.date = value;
        else if (key == "TIME")
            out.time = value;
        else if (key == "NMBR")
            out.number = value;
        else if (key == "NAME")
            out.name = value;
        else if (key == "RING") {
            ring = value;
            hasRing = true;
        }
    }
    if (type == "CID") {
        out.kind = ServerLine::Call;
    } else if (hasRing) {
        bool ok = false;
        const int count = ring.toInt(&ok);
        if (ok && count > 0)
            out.kind = ServerLine::Ring;
        else if (ok && (count == 0 || count == -2))
            out.kind = ServerLine::Hangup;
    }
    return out;
}

}  // namespace cid
