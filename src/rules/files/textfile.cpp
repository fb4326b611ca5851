#include "rules/files/textfile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <string>
#include <iconv.h>

#include "rules/files/privatefiles.h"

namespace {

// One iconv conversion descriptor for the duration of a call.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts as much as possible; stops at an invalid or incomplete
    // sequence.  Returns false in that case with `in` pointing at it.
    bool convert(char*& in, size_t& inLeft, QByteArray& out)
    {
        char buffer[4096];
        while (inLeft > 0) {
            char* dst = buffer;
            size_t dstLeft = sizeof buffer;
            const size_t rc = iconv(cd_, &in, &inLeft, &dst, &dstLeft);
            out.append(buffer, static_cast<qsizetype>(dst - buffer));
            if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
                return false;
            }
        }
        return true;
    }

private:
    iconv_t cd_;
};

QString filePathForMessage(const QString& path) { return QDir::toNativeSeparators(path); }


// The length of the UTF-8 character that starts at `in`.
size_t utf8Length(const char* in, size_t left)
{
    const auto lead = static_cast<unsigned char>(*in);
    size_t len = 1;
    if (lead >= 0xF0)
        len = 4;
    else if (lead >= 0xE0)
        len = 3;
    else if (lead >= 0xC0)
        len = 2;
    return std::min(len, left);
}

// The length of the GB18030 sequence at `in`: four bytes when a digit
// follows the lead byte, two after any other lead byte, else one.
size_t gbLength(const char* in, size_t left)
{
    const auto b0 = static_cast<unsigned char>(in[0]);
    if (b0 < 0x81 || b0 > 0xFE || left < 2)
        return 1;
    const auto b1 = static_cast<unsigned char>(in[1]);
    return b1 >= 0x30 && b1 <= 0x39 ? std::min<size_t>(4, left) : 2;
}

// Converts `step` bytes at `in` as one whole character; false when they
// are not one.
bool convertOne(Iconv& cv, const char* in, size_t step, QByteArray& out)
{
    QByteArray copy(in, static_cast<qsizetype>(step));
    char* p = copy.data();
    size_t left = step;
    QByteArray converted;
    if (!cv.convert(p, left, converted))
        return false;
    out += converted;
    return true;
}

}  // namespace

QByteArray toGbk(const QString& text)
{
    // Convert character by character only after a failure, so that an
    // unrepresentable character becomes a single '?'.
    QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    Iconv cv("GBK", "UTF-8");
    char* in = utf8.data();
    size_t inLeft = static_cast<size_t>(utf8.size());
    while (!cv.convert(in, inLeft, out)) {
        out.append('?');
        // Skip one whole UTF-8 character.
        const size_t step = utf8Length(in, inLeft);
        in += step;
        inLeft -= step;
    }
    return out;
}

QString fromGbk(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QByteArray out;
    out.reserve(copy.size() * 3 / 2);
    Iconv cv("UTF-8", "GBK");
    char* in = copy.data();
    size_t inLeft = static_cast<size_t>(copy.size());
    while (!cv.convert(in, inLeft, out)) {
        out.append("\xEF\xBF\xBD");  // U+FFFD
        ++in;
        --inLeft;
    }
    return QString::fromUtf8(out);
}

QByteArray toGb18030(const QString& text)
{
    // GBK first: GB18030 gives some characters (the euro sign) other bytes
    // than the GBK files in use have.  Only what GBK lacks goes through
    // GB18030, one character at a time.
    QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size());
    Iconv gbk("GBK", "UTF-8");
    Iconv gb18030("GB18030", "UTF-8");
    char* in = utf8.data();
    size_t inLeft = static_cast<size_t>(utf8.size());
    while (!gbk.convert(in, inLeft, out)) {
        const size_t step = utf8Length(in, inLeft);
        if (!convertOne(gb18030, in, step, out))
            out.append('?');  // not a character at all
        in += step;
        inLeft -= step;
    }
    return out;
}

QString fromGb18030(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QByteArray out;
    out.reserve(copy.size() * 3 / 2);
    Iconv gbk("UTF-8", "GBK");
    Iconv gb18030("UTF-8", "GB18030");
    char* in = copy.data();
    size_t inLeft = static_cast<size_t>(copy.size());
    while (!gbk.convert(in, inLeft, out)) {
        const size_t step = gbLength(in, inLeft);
        if (convertOne(gb18030, in, step, out)) {
            in += step;
            inLeft -= step;
        } else {
            out.append("\xEF\xBF\xBD");  // U+FFFD; what follows is read on
            ++in;
            --inLeft;
        }
    }
    return QString::fromUtf8(out);
}

QString readText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError(QStringLiteral("无法打开文件：%1").arg(filePathForMessage(path)));
    const QByteArray bytes = file.readAll();
    // A file saved by an editor that marks UTF-8 with a byte-order mark is
    // read as UTF-8; every other file is GBK.
    return bytes.startsWith("\xEF\xBB\xBF") ? QString::fromUtf8(bytes.mid(3)) : fromGb18030(bytes);
}

QStringList readTextLines(const QString& path)
{
    const QString text = readText(path);

    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

void writeTextLines(const QString& path, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += toGb18030(line);
        bytes += "\r\n";
    }
    // Written under a temporary name and renamed into place when complete:
    // a crash or a full disk mid-write leaves the old file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !privatefiles::applyMode(file, path))
        throw FileError(QStringLiteral("无法创建文件：%1").arg(filePathForMessage(path)));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(QStringLiteral("无法写入文件：%1").arg(filePathForMessage(path)));
}

QList<QPair<QString, QString>> readKeyValues(const QString& path)
{
    QList<QPair<QString, QString>> out;
    if (!QFile::exists(path))
        return out;
    QStringList lines;
    try {
        lines = readTextLines(path);
    } catch (const FileError&) {
        return out;
    }
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0)
            out.append({line.left(eq).trimmed().toLower(), line.mid(eq + 1).trimmed()});
    }
    return out;
}
