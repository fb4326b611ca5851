#include "rules/formats/xlsxbook.h"
#include "rules/formats/utf8sequence.h"
#include "rules/formats/zipstream.h"

#include <zlib.h>

#include <QFile>
#include <QList>
#include <QSet>
#include <cstring>
#include <vector>

namespace xlsx {

namespace {

const char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char kMainNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char kPackageRelNs[] = "http://schemas.openxmlformats.org/package/2006/relationships";

// Bytes a character of the text takes at most once escaped ("_x005F_").
constexpr qsizetype kMostBytesPerChar = 7;

bool isHex(char16_t u)
{
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

char* putEscape(char* p, unsigned code)
{
    static const char hex[] = "0123456789ABCDEF";
    *p++ = '_';
    *p++ = 'x';
    for (int shift = 12; shift >= 0; shift -= 4)
        *p++ = hex[(code >> shift) & 0xF];
    *p++ = '_';
    return p;
}

char* putBytes(char* p, const char* s, qsizetype n)
{
    std::memcpy(p, s, size_t(n));
    return p + n;
}

// A string literal without its terminating zero.
template <size_t N>
char* putLiteral(char* p, const char (&s)[N])
{
    return putBytes(p, s, qsizetype(N - 1));
}

// The character s[i] below 0x80 escaped at p, for texts in UTF-16 and in
// UTF-8 alike; the end of what was written.
template <class Unit>
char* escapeAscii(char* p, const Unit* s, qsizetype i, qsizetype n)
{
    const unsigned u = s[i];
    if (u >= 0x20 && u != '<' && u != '>' && u != '&' && u != '_') {
        *p++ = char(u);
        return p;
    }
    switch (u) {
    case '<': return putLiteral(p, "&lt;");
    case '>': return putLiteral(p, "&gt;");
    case '&': return putLiteral(p, "&amp;");
    case '\t':
    case '\n': *p++ = char(u); return p;
    case '_':
        // "_x" and four hex digits and "_" would be read as an escape.
        if (i + 6 < n && s[i + 1] == 'x' && isHex(s[i + 2]) && isHex(s[i + 3]) && isHex(s[i + 4]) &&
            isHex(s[i + 5]) && s[i + 6] == '_')
            return putEscape(p, '_');
        *p++ = '_';
        return p;
    default: return putEscape(p, u);  // control characters, the carriage return
    }
}

// The text escaped at p (room for kMostBytesPerChar bytes a character);
// the end of what was written.
char* escapeInto(char* p, const char16_t* s, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (u < 0x80) {
            p = escapeAscii(p, s, i, n);
        } else if (u < 0x800) {
            *p++ = char(0xC0 | (u >> 6));
            *p++ = char(0x80 | (u & 0x3F));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            if (u <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                const char32_t c = 0x10000 + ((char32_t(u) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
                *p++ = char(0xF0 | (c >> 18));
                *p++ = char(0x80 | ((c >> 12) & 0x3F));
                *p++ = char(0x80 | ((c >> 6) & 0x3F));
                *p++ = char(0x80 | (c & 0x3F));
                ++i;
            } else {
                p = putLiteral(p, "\xEF\xBF\xBD");  // half a character: the replacement character
            }
        } else if (u >= 0xFFFE) {
            p = putEscape(p, u);  // not an XML character
        } else {
            *p++ = char(0xE0 | (u >> 12));
            *p++ = char(0x80 | ((u >> 6) & 0x3F));
            *p++ = char(0x80 | (u & 0x3F));
        }
    }
    return p;
}

// The UTF-8 text escaped at p as escapeInto() escapes it (room for
// kMostBytesPerChar bytes a byte); null when the bytes are no UTF-8 (the
// caller then decodes them the way Qt does and escapes that).
char* escapeUtf8Into(char* p, const char* text, qsizetype n)
{
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    for (qsizetype i = 0; i < n;) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            p = escapeAscii(p, s, i++, n);
            continue;
        }
        const int length = utf8::sequenceLength(s, i, n);
        if (length == 0)
            return nullptr;
        if (length == 3 && b == 0xEF && s[i + 1] == 0xBF && s[i + 2] >= 0xBE)
            p = putEscape(p, 0xFFC0u | (s[i + 2] & 0x3F));  // U+FFFE and U+FFFF: no XML characters
        else
            p = putBytes(p, text + i, length);
        i += length;
    }
    return p;
}

bool needsPreserve(const QString& s)
{
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
    return !s.isEmpty() && (blank(s.front()) || blank(s.back()));
}

bool needsPreserve(QByteArrayView s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !s.isEmpty() && (blank(s.front()) || blank(s.back()));
}

// As Qt reads the bytes of a text (a byte that is no UTF-8 becomes the
// replacement character).
QString decoded(QByteArrayView utf8) { return QString::fromUtf8(utf8); }

QByteArray attributeText(const QString& s)
{
    QByteArray out = s.toUtf8();
    out.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
    return out;
}

// The letters of column c (from 0): A ... Z, AA ... XFD.
QByteArray columnLetters(int c)
{
    QByteArray letters;
    for (int n = c + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(char('A' + (n - 1) % 26));
    return letters;
}

}  // namespace

QString sheetNameFor(const QString& wanted)
{
    static const QString bad = QStringLiteral("[]:*?/\\");
    QString name = wanted;
    for (QChar& c : name)
        if (bad.contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    while (name.startsWith(QLatin1Char('\'')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('\'')))
        name.chop(1);
    if (name.size() > BookWriter::kMaxSheetName)
        name.truncate(name.at(BookWriter::kMaxSheetName - 1).isHighSurrogate() ? BookWriter::kMaxSheetName - 1
                                                                               : BookWriter::kMaxSheetName);
    return name;
}

void appendCellText(QByteArray& out, const QString& text)
{
    const qsizetype at = out.size();
    out.resize(at + text.size() * kMostBytesPerChar);
    char* end = escapeInto(out.data() + at, reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    out.truncate(end - out.constData());
}

void appendCellText(QByteArray& out, QByteArrayView utf8)
{
    const qsizetype at = out.size();
    out.resize(at + utf8.size() * kMostBytesPerChar);
    char* end = escapeUtf8Into(out.data() + at, utf8.data(), utf8.size());
    if (!end) {
        out.truncate(at);
        appendCellText(out, decoded(utf8));
        return;
    }
    out.truncate(end - out.constData());
}

// ---------------------------------------------------------------------------

struct BookWriter::Impl {
    zipstream::ZipOut zip;
    bool opened = false;
    QString path;
    // zlib's level 2: on worksheet XML both faster and smaller than level 1
    // (longer matches, fewer places hashed), a fifth of the XML's size.
    const int level = 2;
    QString problem;  // the first thing that went wrong here (the zip keeps its own)
    QStringList names;
    QSet<QString> usedNames;  // lower case
    bool inSheet = false;
    qint64 rows = 0;
    qsizetype widest = 0;  // the most columns a row had

    std::vector<char> buf;  // the piece being filled
    qsizetype used = 0;
    std::vector<QByteArray> letters;

    void fail(const QString& why)
    {
        if (problem.isEmpty())
            problem = why;
    }

    void wholePart(const char* name, const QByteArray& text)
    {
        zip.beginPart(name, Z_DEFAULT_COMPRESSION, false);
        std::vector<char> piece = zip.takePiece(text.size());
        std::memcpy(piece.data(), text.constData(), size_t(text.size()));
        zip.write(std::move(piece), text.size());
        zip.endPart();
    }

    // Room for n more bytes of the worksheet's XML.
    char* room(qsizetype n)
    {
        if (used + n > qsizetype(buf.size())) {
            flush();
            buf = zip.takePiece(n);
        }
        return buf.data() + used;
    }
    void put(const char* s, qsizetype n)
    {
        std::memcpy(room(n), s, size_t(n));
        used += n;
    }
    void put(const QByteArray& b) { put(b.constData(), b.size()); }
    void flush()
    {
        if (!buf.empty())
            zip.write(std::move(buf), used);  // a piece taken always goes back
        buf = std::vector<char>();
        used = 0;
    }

    void startSheet(const QString& wanted)
    {
        endSheet();
        QString name = sheetNameFor(wanted);
        if (name.isEmpty() || usedNames.contains(name.toLower()))
            name = QStringLiteral("Sheet") + QString::number(names.size() + 1);
        for (int k = int(names.size()) + 2; usedNames.contains(name.toLower()); ++k)
            name = QStringLiteral("Sheet") + QString::number(k);
        usedNames.insert(name.toLower());
        names.append(name);
        rows = 0;
        zip.beginPart("xl/worksheets/sheet" + QByteArray::number(names.size()) + ".xml", level, true);
        inSheet = true;
        QByteArray head = kXmlHead;
        head += QByteArray("<worksheet xmlns=\"") + kMainNs + "\" xmlns:r=\"" + kRelNs + "\">";
        head += names.size() == 1 ? "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
                                  : "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>";
        head += "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData>";
        put(head);
    }
    void endSheet()
    {
        if (!inSheet)
            return;
        put("</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
            "header=\"0.3\" footer=\"0.3\"/></worksheet>");
        flush();
        zip.endPart();
        inSheet = false;
    }

    const QByteArray& lettersOf(int c)
    {
        while (int(letters.size()) <= c)
            letters.push_back(columnLetters(int(letters.size())));
        return letters[size_t(c)];
    }

    // A row's cells, texts (QString) or UTF-8 bytes (QByteArrayView).
    template <class Text>
    void addRow(const Text* cells, qsizetype n)
    {
        if (names.isEmpty())
            startSheet(QStringLiteral("Sheet1"));
        if (!inSheet || zip.failed())
            return;
        ++rows;
        widest = qMax(widest, n);
        n = qMin<qsizetype>(n, kMaxColumns);
        char number[24];
        const int digits = std::snprintf(number, sizeof number, "%lld", rows);
        bool open = false;
        for (qsizetype c = 0; c < n; ++c) {
            const Text& text = cells[c];
            if (text.isEmpty())
                continue;
            if (!open) {
                put("<row r=\"", 8);
                put(number, digits);
                put("\">", 2);
                open = true;
            }
            const QByteArray& col = lettersOf(int(c));
            char* p = room(64 + text.size() * kMostBytesPerChar);
            p = putLiteral(p, "<c r=\"");
            p = putBytes(p, col.constData(), col.size());
            p = putBytes(p, number, digits);
            p = putLiteral(p, "\" t=\"inlineStr\">");
            p = putText(p, text);
            p = putLiteral(p, "</t></is></c>");
            used = p - buf.data();
        }
        if (open)
            put("</row>", 6);
    }
    static char* putText(char* p, const QString& text)
    {
        p = needsPreserve(text) ? putLiteral(p, "<is><t xml:space=\"preserve\">") : putLiteral(p, "<is><t>");
        return escapeInto(p, reinterpret_cast<const char16_t*>(text.utf16()), text.size());
    }
    static char* putText(char* p, QByteArrayView text)
    {
        p = needsPreserve(text) ? putLiteral(p, "<is><t xml:space=\"preserve\">") : putLiteral(p, "<is><t>");
        if (char* end = escapeUtf8Into(p, text.data(), text.size()))
            return end;
        // No UTF-8: as Qt reads it (never longer in UTF-16 units than in bytes).
        const QString read = decoded(text);
        return escapeInto(p, reinterpret_cast<const char16_t*>(read.utf16()), read.size());
    }

    void smallParts()
    {
        QByteArray book = kXmlHead;
        book += QByteArray("<workbook xmlns=\"") + kMainNs + "\" xmlns:r=\"" + kRelNs
                + "\"><bookViews><workbookView/></bookViews><sheets>";
        QByteArray bookRels = kXmlHead;
        bookRels += QByteArray("<Relationships xmlns=\"") + kPackageRelNs + "\">";
        QByteArray types = kXmlHead;
        types += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                 "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                 "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                 "<Override PartName=\"/xl/workbook.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                 "<Override PartName=\"/xl/styles.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QByteArray k = QByteArray::number(i + 1);
            book += "<sheet name=\"" + attributeText(names[i]) + "\" sheetId=\"" + k + "\" r:id=\"rId" + k + "\"/>";
            bookRels += "<Relationship Id=\"rId" + k + "\" Type=\"" + kRelNs + "/worksheet\" Target=\"worksheets/sheet" +
                        k + ".xml\"/>";
            types += "<Override PartName=\"/xl/worksheets/sheet" + k +
                     ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        }
        book += "</sheets></workbook>";
        bookRels += "<Relationship Id=\"rId" + QByteArray::number(names.size() + 1) + "\" Type=\"" + kRelNs +
                    "/styles\" Target=\"styles.xml\"/></Relationships>";
        types += "</Types>";
        QByteArray rels = kXmlHead;
        rels += QByteArray("<Relationships xmlns=\"") + kPackageRelNs + "\"><Relationship Id=\"rId1\" Type=\"" +
                kRelNs + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
        QByteArray styles = kXmlHead;
        styles += QByteArray("<styleSheet xmlns=\"") + kMainNs +
                  "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
                  "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
                  "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
                  "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
                  "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
                  "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
                  "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
                  "</styleSheet>";
        wholePart("xl/workbook.xml", book);
        wholePart("xl/_rels/workbook.xml.rels", bookRels);
        wholePart("xl/styles.xml", styles);
        wholePart("_rels/.rels", rels);
        wholePart("[Content_Types].xml", types);
    }
};

BookWriter::BookWriter() : d(std::make_unique<Impl>()) {}

BookWriter::~BookWriter() = default;

bool BookWriter::open(const QString& path, QString* error)
{
    d->path = path;
    d->opened = d->zip.open(path);
    if (!d->opened && error)
        *error = QStringLiteral("不能创建文件 ") + path;
    return d->opened;
}

void BookWriter::beginSheet(const QString& name) { d->startSheet(name); }

void BookWriter::addRow(const QStringList& row) { d->addRow(row.constData(), row.size()); }

void BookWriter::addRow(const QByteArrayView* cells, qsizetype count) { d->addRow(cells, count); }

qint64 BookWriter::rowsInSheet() const { return d->rows; }

bool BookWriter::finish(QString* error)
{
    if (!d->opened) {
        if (error)
            *error = QStringLiteral("不能创建文件 ") + d->path;
        return false;
    }
    if (d->names.isEmpty())
        d->startSheet(QString());
    d->endSheet();
    d->smallParts();
    QString zipProblem;
    d->opened = false;
    if (!d->zip.close(&zipProblem))
        d->fail(zipProblem);
    if (d->widest > kMaxColumns)
        d->fail(QStringLiteral("Excel 工作表最多只有 ") + QString::number(kMaxColumns) + QStringLiteral(" 列，导出了 ") +
                QString::number(d->widest) + QStringLiteral(" 列"));
    if (d->problem.isEmpty())
        return true;
    if (error)
        *error = d->problem;
    return false;
}

}  // namespace xlsx
