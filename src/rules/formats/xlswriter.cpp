#include "rules/formats/xlswriter.h"
#include "rules/formats/xlsxbook.h"

#include "rules/formats/biffrecords.h"
#include "rules/formats/compoundfile.h"
#include "rules/formats/littleendian.h"
#include "rules/formats/sharedstrings.h"

#include <QFile>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <cmath>
#include <cstring>
#include <vector>

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the record writer copies UTF-16 and doubles as they are");

namespace xls {

namespace {

bool isAscii(const char* p, qsizetype n)
{
    for (qsizetype i = 0; i < n; ++i)
        if (uchar(p[i]) > 0x7F)
            return false;
    return true;
}

// A string of one-byte characters (length, flags, characters) turned into
// the same string of two-byte ones.
void widen(QByteArray& s)
{
    const qsizetype n = s.size() - 3;
    QByteArray wide(3 + n * 2, '\0');
    wide[0] = s[0];
    wide[1] = s[1];
    wide[2] = char(s[2] | 1);
    for (qsizetype i = 0; i < n; ++i)
        wide[3 + i * 2] = s[3 + i];
    s.swap(wide);
}

}  // namespace

// ---------------------------------------------------------------------------

struct WorkbookWriter::Impl {
    struct SheetData {
        QString name;
        bool hasHeader = false;
        QVariantList header;
        Blocks cells;  // LABELSST, LABEL and NUMBER records in row order
        int rows = 0;
        int cols = 0;
        int continuation = 1;  // 1 for the first sheet of a run, 2, 3... after
        QString baseName;
    };
    QList<SheetData> sheets;
    QSet<QString> usedNames;  // lower case
    bool tooManyColumns = false;
    SharedStrings strings{kSharedStringLimit};
    QByteArray scratch;


    QString uniqueName(const QString& wanted)
    {
        QString base = xlsx::sheetNameFor(wanted);
        if (base.isEmpty())
            base = QStringLiteral("Sheet%1").arg(sheets.size() + 1);
        QString name = base;
        for (int k = 2; usedNames.contains(name.toLower()); ++k) {
            const QString suffix = QStringLiteral("(%1)").arg(k);
            name = base.left(31 - suffix.size()) + suffix;
        }
        usedNames.insert(name.toLower());
        return name;
    }

    void addSheet(const QString& wanted, const QVariantList* header, int continuation,
                  const QString& baseName)
    {
        SheetData s;
        s.continuation = continuation;
        s.baseName = baseName;
        if (continuation == 1) {
            s.name = uniqueName(wanted);
            s.baseName = s.name;
        } else {
            const QString suffix = QStringLiteral("(%1)").arg(continuation);
            s.name = uniqueName(baseName.left(31 - suffix.size()) + suffix);
        }
        if (header) {
            s.hasHeader = true;
            s.header = *header;
        }
        sheets.append(std::move(s));
        if (header)
            putRow(*header);
    }

    // The sheet the next row goes to: a first one when there is none, a
    // continuation when the current one is full.
    SheetData& sheetForNextRow()
    {
        if (sheets.isEmpty())
            addSheet(QString(), nullptr, 1, QString());
        if (sheets.last().rows >= kMaxRows) {
            // Copies: the list grows under the references.
            const SheetData& full = sheets.last();
            const QVariantList header = full.header;
            const QString base = full.baseName;
            const bool hasHeader = full.hasHeader;
            const int next = full.continuation + 1;
            addSheet(QString(), hasHeader ? &header : nullptr, next, base);
        }
        return sheets.last();
    }

    void addRow(const QVariantList& row)
    {
        sheetForNextRow();
        putRow(row);
    }

    void putRow(const QVariantList& row)
    {
        putCells(sheets.last(), row,
                 [this](SheetData& s, quint16 r, quint16 c, const QVariant& v) { putCell(s, r, c, v); });
    }

    // One row of cells at the end of sheet `s`; columns past the format's
    // limit are left out (and said so at the end).
    template <class Row, class Put>
    void putCells(SheetData& s, const Row& row, Put put)
    {
        const quint16 r = quint16(s.rows);
        int n = int(row.size());
        if (n > kMaxColumns) {
            tooManyColumns = true;
            n = kMaxColumns;
        }
        for (int c = 0; c < n; ++c)
            put(s, r, quint16(c), row.at(c));
        s.rows++;
        if (n > s.cols)
            s.cols = n;
    }

    void putCell(SheetData& s, quint16 r, quint16 c, const QVariant& v)
    {
        if (!v.isValid() || v.isNull())
            return;
        switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort: {
            char d[18];
            qToLittleEndian<quint16>(rNUMBER, d);
            qToLittleEndian<quint16>(14, d + 2);
            qToLittleEndian<quint16>(r, d + 4);
            qToLittleEndian<quint16>(c, d + 6);
            qToLittleEndian<quint16>(kCellXf, d + 8);
            const double x = v.toDouble();
            std::memcpy(d + 10, &x, 8);
            s.cells.append(d, 18);
            return;
        }
        case QMetaType::QString:
            putText(s, r, c, *static_cast<const QString*>(v.constData()));
            return;
        default:
            putText(s, r, c, v.toString());
            return;
        }
    }

    void putText(SheetData& s, quint16 r, quint16 c, const QString& text)
    {
        if (text.isEmpty())
            return;
        scratch.resize(0);
        const quint32 h = SharedStrings::encode(scratch, text, kMaxTextLength);
        putEncoded(s, r, c, scratch.constData(), scratch.size(), h);
    }

    // A text cell of `bytes` (the string as the table holds it).
    void putEncoded(SheetData& s, quint16 r, quint16 c, const char* bytes, qsizetype size, quint32 h)
    {
        const quint32 index = strings.intern(bytes, size, h);
        if (index == SharedStrings::kNoIndex) {
            // The table is full: a text cell of its own.  Gnumeric takes the
            // one-byte characters of a text cell in the workbook's code page,
            // which is UTF-16 here, and so makes nonsense of any letter past
            // ASCII ("Ü"): such texts go in two bytes a character, as Excel
            // reads them as well.
            QByteArray label(bytes, size);
            if (label[2] == 0 && !isAscii(label.constData() + 3, label.size() - 3))
                widen(label);
            char d[10];
            qToLittleEndian<quint16>(rLABEL, d);
            qToLittleEndian<quint16>(quint16(6 + label.size()), d + 2);
            qToLittleEndian<quint16>(r, d + 4);
            qToLittleEndian<quint16>(c, d + 6);
            qToLittleEndian<quint16>(kCellXf, d + 8);
            s.cells.append(d, 10);
            s.cells.append(label.constData(), label.size());
            return;
        }
        char d[14];
        qToLittleEndian<quint16>(rLABELSST, d);
        qToLittleEndian<quint16>(10, d + 2);
        qToLittleEndian<quint16>(r, d + 4);
        qToLittleEndian<quint16>(c, d + 6);
        qToLittleEndian<quint16>(kCellXf, d + 8);
        qToLittleEndian<quint32>(index, d + 10);
        s.cells.append(d, 14);
    }

    // A row of texts in two passes: every text encoded and its place in the
    // table asked of memory first, then looked up; the table is larger than
    // the processor's caches, and the row's look-ups wait for memory
    // together instead of one after another.
    struct RowText {
        qsizetype at = -1;  // in rowBytes; -1 for an empty cell
        qsizetype size = 0;
        quint32 hash = 0;
    };
    QByteArray rowBytes;
    std::vector<RowText> rowTexts;

    void addTextRow(const QStringList& row)
    {
        SheetData& s = sheetForNextRow();
        const quint16 r = quint16(s.rows);
        int n = int(row.size());
        if (n > kMaxColumns) {
            tooManyColumns = true;
            n = kMaxColumns;
        }
        rowBytes.resize(0);
        rowTexts.assign(size_t(n), RowText());
        for (int c = 0; c < n; ++c) {
            const QString& text = row.at(c);
            if (text.isEmpty())
                continue;
            RowText& t = rowTexts[size_t(c)];
            t.at = rowBytes.size();
            t.hash = SharedStrings::encode(rowBytes, text, kMaxTextLength);
            t.size = rowBytes.size() - t.at;
            strings.prefetch(t.hash);
        }
        for (int c = 0; c < n; ++c) {
            const RowText& t = rowTexts[size_t(c)];
            if (t.at >= 0)
                putEncoded(s, r, quint16(c), rowBytes.constData() + t.at, t.size, t.hash);
        }
        s.rows++;
        if (n > s.cols)
            s.cols = n;
    }

    QByteArray sheetHead(const SheetData& s) const
    {
        QByteArray out = bof(0x0010);
        QByteArray d;
        put32(d, 0);
        put32(d, quint32(s.rows));  // last row + 1
        put16(d, 0);
        put16(d, quint16(s.cols));  // last column + 1
        put16(d, 0);
        record(out, rDIMENSIONS, d);
        QByteArray w;
        const bool first = &s == &sheets.first();
        put16(w, first ? 0x06B6 : 0x00B6);  // grid, headers, zeros; the first sheet selected
        put16(w, 0);
        put16(w, 0);
        put32(w, 0x40);
        put16(w, 0);
        put16(w, 0);
        put32(w, 0);
        record(out, rWINDOW2, w);
        return out;
    }
};

// --- the compound file -----------------------------------------------------------

WorkbookWriter::WorkbookWriter() : d(std::make_unique<Impl>()) {}
WorkbookWriter::~WorkbookWriter() = default;

void WorkbookWriter::beginSheet(const QString& name, const QVariantList& header)
{
    d->addSheet(name, &header, 1, QString());
}

void WorkbookWriter::beginSheet(const QString& name) { d->addSheet(name, nullptr, 1, QString()); }

void WorkbookWriter::addRow(const QVariantList& row) { d->addRow(row); }

void WorkbookWriter::addTextRow(const QStringList& row)
{
    d->addTextRow(row);
}

int WorkbookWriter::sheetCount() const { return int(d->sheets.size()); }

void WorkbookWriter::setSharedStringLimit(quint32 n) { d->strings.setLimit(n); }

bool WorkbookWriter::save(const QString& path, QString* error)
{
    auto fail = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    if (d->tooManyColumns)
        return fail(QStringLiteral("Excel 97-2003 工作表最多只有 %1 列。").arg(kMaxColumns));
    if (d->sheets.isEmpty())
        d->addSheet(QString(), nullptr, 1, QString());

    // Globals: head, one BOUNDSHEET per sheet (offsets filled in below),
    // shared strings, end.
    QByteArray globals = globalsHead();
    QVector<qsizetype> plyPos;
    for (const Impl::SheetData& s : d->sheets) {
        QByteArray b;
        put32(b, 0);
        put8(b, 0);  // visible
        put8(b, 0);  // worksheet
        putShortString(b, s.name);
        plyPos.append(globals.size() + 4);
        record(globals, rBOUNDSHEET, b);
    }
    // The shared strings stay a piece of their own: written after the head,
    // not copied onto it.
    const SharedStrings::Plan strings = d->strings.plan(quint32(globals.size()));
    const QByteArray globalsEnd = eof();

    QList<QByteArray> heads;
    const QByteArray end = eof();
    quint64 streamSize = quint64(globals.size()) + strings.size + quint64(globalsEnd.size());
    for (qsizetype i = 0; i < d->sheets.size(); ++i) {
        set32(globals, plyPos[i], quint32(streamSize));
        heads.append(d->sheetHead(d->sheets[i]));
        streamSize += quint64(heads.last().size() + d->sheets[i].cells.size() + end.size());
    }
    if (streamSize > 0xFFFF0000ull)
        return fail(QStringLiteral("数据太多，超出了 Excel 97-2003 文件的大小。"));
    // A stream under 4096 bytes would belong in the mini stream; padding
    // after the last EOF keeps it in ordinary sectors.
    const quint32 size = quint32(qMax<quint64>(streamSize, 4096));

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("不能创建文件 %1：%2").arg(path, file.errorString()));
    const CompoundFile box(size);
    ChunkedOutput out(file);
    out.write(box.header);
    out.write(globals);
    d->strings.write(out, strings);
    out.write(globalsEnd);
    for (qsizetype i = 0; i < d->sheets.size(); ++i) {
        out.write(heads[i]);
        out.write(d->sheets[i].cells);
        out.write(end);
    }
    out.write(QByteArray(qsizetype(box.streamBytes() - streamSize), '\0'));
    out.write(box.tail);
    const bool ok = out.flush() && file.flush();
    file.close();
    if (!ok || file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("不能写入文件 %1：%2").arg(path, file.errorString()));
    return true;
}

bool writeWorkbook(const QString& path, const QList<Sheet>& sheets, QString* error)
{
    WorkbookWriter w;
    for (const Sheet& s : sheets) {
        if (s.rows.isEmpty())
            w.beginSheet(s.name);
        else
            w.beginSheet(s.name, s.rows.first());
        for (qsizetype r = 1; r < s.rows.size(); ++r)
            w.addRow(s.rows[r]);
    }
    return w.save(path, error);
}

}  // namespace xls
