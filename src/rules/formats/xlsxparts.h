#pragma once
// The pieces the .xlsx reader is made of: Excel's limits, the zip of XML
// parts streamed through a guard that bounds every XML token, the shared
// texts within their memory budget, and the small decoders of cell
// references, escapes and number formats.  Used by xlsxreader.cpp and
// xlsxsheet.cpp only.
#include <unzip.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QXmlStreamReader>
#include <functional>

#include "rules/formats/readers.h"

namespace xlsx {

constexpr qint64 kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr int kMaxCellChars = 32767;
// Longest run of bytes without markup, and longest tag, comment or CDATA
// section: a cell of kMaxCellChars written as character references fits.
constexpr qint64 kMaxTokenBytes = 1 << 20;
// The shared texts: 2 bytes a character and 8 bytes a text.
constexpr qint64 kSharedTextBudget = qint64(128) << 20;
constexpr qint64 kSharedBlockChars = 1 << 20;
// One row's texts together.
constexpr qint64 kMaxRowChars = 8 << 20;
// Parts read whole (workbook, relationships, styles).
constexpr qint64 kMaxWholePartBytes = 32 << 20;

inline QString damaged(const QString& path)
{
    return QStringLiteral("工作簿 %1 已损坏或不完整，不能读取。").arg(readers::shownName(path));
}

// Column number (from 0) of a cell reference such as "AB12"; -1 when none.
inline int columnOf(QStringView ref)
{
    int col = 0;
    int letters = 0;
    for (QChar ch : ref) {
        const char16_t u = ch.unicode();
        if (u >= 'A' && u <= 'Z')
            col = col * 26 + (u - 'A' + 1);
        else if (u >= 'a' && u <= 'z')
            col = col * 26 + (u - 'a' + 1);
        else
            break;
        if (++letters > 3)
            return -1;
    }
    return letters ? col - 1 : -1;
}

// Excel keeps characters that XML cannot carry as _xHHHH_ (and a literal
// "_x" before four hex digits as _x005F_x...).
inline QString decodeEscapes(const QString& s)
{
    if (!s.contains(QLatin1String("_x")))
        return s;
    auto hex = [](QChar c) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            return int(u - '0');
        if (u >= 'a' && u <= 'f')
            return int(u - 'a' + 10);
        if (u >= 'A' && u <= 'F')
            return int(u - 'A' + 10);
        return -1;
    };
    QString out;
    out.reserve(s.size());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n;) {
        if (s[i] == QLatin1Char('_') && i + 6 < n && s[i + 1] == QLatin1Char('x') && s[i + 6] == QLatin1Char('_')) {
            int code = 0;
            bool ok = true;
            for (int k = 2; k < 6 && ok; ++k) {
                const int h = hex(s[i + k]);
                ok = h >= 0;
                code = code * 16 + h;
            }
            if (ok) {
                out += QChar(char16_t(code));
                i += 7;
                continue;
            }
        }
        out += s[i++];
    }
    return out;
}

// Whether a number format shows a date or time.
inline bool isDateFormat(int id, const QString& code)
{
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
        (id >= 50 && id <= 58))
        return true;
    if (code.isEmpty())
        return false;
    bool quoted = false;
    bool bracket = false;
    for (int i = 0; i < code.size(); ++i) {
        const QChar c = code[i];
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == QLatin1Char('\\'))
            ++i;
        else if (c == QLatin1Char('['))
            bracket = true;
        else if (c == QLatin1Char(']'))
            bracket = false;
        else if (!bracket && QStringLiteral("yYdDhHsS").contains(c))
            return true;
        else if (!bracket && (c == QLatin1Char('m') || c == QLatin1Char('M')))
            return true;
    }
    return false;
}

// Stands in front of the XML reader, which keeps a whole token in memory
// before it hands it out: refuses a part whose text runs, tags, comments or
// CDATA sections grow past kMaxTokenBytes, and one with a document type
// declaration (which no workbook part has).
class TokenGuard {
public:
    bool feed(const char* p, qsizetype n)
    {
        for (qsizetype i = 0; i < n; ++i) {
            const char c = p[i];
            if (++length_ > kMaxTokenBytes)
                return false;
            switch (state_) {
            case State::Text:
                if (c == '<')
                    start(State::Open);
                break;
            case State::Open:
                prefix_ += c;
                if (prefix_ == "!--") {
                    state_ = State::Comment;
                } else if (prefix_ == "![CDATA[") {
                    state_ = State::CData;
                } else if (prefix_.startsWith('!')) {
                    if (!QByteArray("!--").startsWith(prefix_) && !QByteArray("![CDATA[").startsWith(prefix_))
                        return false;
                } else {
                    state_ = State::Tag;
                    if (c == '>')
                        start(State::Text);
                }
                break;
            case State::Tag:
                if (c == '>')
                    start(State::Text);
                break;
            case State::Comment:
            case State::CData:
                tail_ = (tail_ << 8 | uchar(c)) & 0xFFFFFF;
                if ((state_ == State::Comment && tail_ == 0x2D2D3E) ||  // -->
                    (state_ == State::CData && tail_ == 0x5D5D3E))      // ]]>
                    start(State::Text);
                break;
            }
        }
        return true;
    }

private:
    enum class State { Text, Open, Tag, Comment, CData };
    void start(State s)
    {
        state_ = s;
        length_ = 0;
        prefix_.clear();
        tail_ = 0;
    }
    State state_ = State::Text;
    qint64 length_ = 0;
    QByteArray prefix_;
    quint32 tail_ = 0;  // the last three bytes
};

// One zip archive; entries are read whole or streamed into an XML reader.
class Zip {
public:
    enum class Outcome { Ok, Damaged, TooBig };

    explicit Zip(const QString& path) : zf_(unzOpen64(QFile::encodeName(path).constData())) {}
    ~Zip()
    {
        if (zf_)
            unzClose(zf_);
    }
    bool ok() const { return zf_ != nullptr; }
    bool has(const QString& name) { return zf_ && unzLocateFile(zf_, name.toUtf8().constData(), 0) == UNZ_OK; }

    // Feeds the entry to `xml` chunk by chunk, calling `parse` after each
    // chunk; parse returns false to stop.  An entry read to its end must
    // pass its CRC check.
    Outcome stream(const QString& name, QXmlStreamReader& xml, const std::function<bool()>& parse)
    {
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return Outcome::Damaged;
        QByteArray chunk(256 * 1024, Qt::Uninitialized);
        TokenGuard guard;
        for (;;) {
            const int n = unzReadCurrentFile(zf_, chunk.data(), unsigned(chunk.size()));
            if (n < 0) {
                unzCloseCurrentFile(zf_);
                return Outcome::Damaged;
            }
            if (n == 0)
                break;
            if (!guard.feed(chunk.constData(), n)) {
                unzCloseCurrentFile(zf_);
                return Outcome::TooBig;
            }
            xml.addData(QByteArray(chunk.constData(), n));
            if (!parse()) {
                unzCloseCurrentFile(zf_);
                return !xml.hasError() || xml.error() == QXmlStreamReader::PrematureEndOfDocumentError
                           ? Outcome::Ok
                           : Outcome::Damaged;
            }
        }
        // A CRC mismatch shows here.
        if (unzCloseCurrentFile(zf_) != UNZ_OK)
            return Outcome::Damaged;
        parse();
        return xml.hasError() ? Outcome::Damaged : Outcome::Ok;
    }

    bool read(const QString& name, QByteArray* out)
    {
        out->clear();
        if (!has(name) || unzOpenCurrentFile(zf_) != UNZ_OK)
            return false;
        char buf[65536];
        int n;
        while ((n = unzReadCurrentFile(zf_, buf, sizeof buf)) > 0) {
            if (out->size() + n > kMaxWholePartBytes) {
                unzCloseCurrentFile(zf_);
                return false;
            }
            out->append(buf, n);
        }
        return unzCloseCurrentFile(zf_) == UNZ_OK && n == 0;
    }

private:
    unzFile zf_;
};

// The shared texts in blocks of kSharedBlockChars, each text whole in one
// block: block (20 bits), start (27 bits) and length (16 bits) per text.
class SharedTexts {
public:
    bool add(const QString& s)
    {
        used_ += 2 * s.size() + 8;
        if (used_ > kSharedTextBudget)
            return false;
        if (blocks_.isEmpty() || blocks_.last().size() + s.size() > kSharedBlockChars) {
            blocks_.append(QString());
            blocks_.last().reserve(kSharedBlockChars);
        }
        const quint64 block = quint64(blocks_.size() - 1);
        const quint64 start = quint64(blocks_.last().size());
        blocks_.last() += s;
        index_.append(block << 43 | start << 16 | quint64(s.size()));
        return true;
    }
    qsizetype size() const { return index_.size(); }
    QString at(qsizetype k) const
    {
        const quint64 e = index_[k];
        return blocks_[qsizetype(e >> 43)].mid(qsizetype((e >> 16) & ((quint64(1) << 27) - 1)),
                                                qsizetype(e & 0xFFFF));
    }

private:
    QVector<QString> blocks_;
    QVector<quint64> index_;
    qint64 used_ = 0;
};

// The message for a cell longer than Excel allows; `where` names the sheet
// and row ("的工作表“Sheet1”第3行") or is empty.
inline QString cellTooLong(const QString& path, const QString& where)
{
    return QStringLiteral("工作簿 %1 %2中有超过32767个字符的单元格。Excel的单元格最多只能有32767个字符，"
                          "这个文件不是Excel能保存的，不能读取。")
        .arg(readers::shownName(path), where);
}

}  // namespace xlsx
