#include "rules/formats/xlswriter.h"

#include "rules/formats/biffrecords.h"
#include "rules/formats/compoundfile.h"
#include "rules/formats/littleendian.h"

#include <QFile>
#include <QHash>
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

// Appends bytes at the end, growing the array by half again when full: a
// cell's record is a few bytes, and QByteArray's own append goes through
// its general insert for each.
void appendBytes(QByteArray& to, const char* p, qsizetype n)
{
    const qsizetype at = to.size();
    if (to.capacity() < at + n)
        to.reserve(qMax<qsizetype>(at + n, to.capacity() + to.capacity() / 2 + 4096));
    to.resize(at + n);
    std::memcpy(to.data() + at, p, size_t(n));
}

QString cleanSheetName(QString name)
{
    static const QString bad = QStringLiteral("[]:*?/\\");
    for (QChar& c : name)
        if (bad.contains(c) || c.unicode() < 0x20)
            c = QLatin1Char('_');
    while (name.startsWith(QLatin1Char('\'')))
        name.remove(0, 1);
    while (name.endsWith(QLatin1Char('\'')))
        name.chop(1);
    return name.left(31);
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

    // Shared strings: every distinct text once, as its string bytes
    // (length, flags, characters), found again through an open hash table
    // whose entries hold the text's hash (upper half) and its index + 1, so
    // that a probe touches one place in memory.
    QByteArray sstRaw;
    QVector<quint32> sstOffset;
    QVector<quint64> table;
    quint32 sstTotal = 0;
    QByteArray scratch;

    Impl() { table.fill(0, 1024); }

    QString uniqueName(const QString& wanted)
    {
        QString base = cleanSheetName(wanted);
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
        const quint32 h = encode(scratch, text);
        putEncoded(s, r, c, scratch.constData(), scratch.size(), h);
    }

    // A text cell of `bytes` (the string as the table holds it).
    void putEncoded(SheetData& s, quint16 r, quint16 c, const char* bytes, qsizetype size, quint32 h)
    {
        const quint32 index = intern(bytes, size, h);
        if (index == kNoIndex) {
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
        sstTotal++;
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
        const quint32 mask = quint32(table.size() - 1);
        for (int c = 0; c < n; ++c) {
            const QString& text = row.at(c);
            if (text.isEmpty())
                continue;
            RowText& t = rowTexts[size_t(c)];
            t.at = rowBytes.size();
            t.hash = encode(rowBytes, text);
            t.size = rowBytes.size() - t.at;
            __builtin_prefetch(table.constData() + (t.hash & mask));
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

    // Appends the text as the string table holds it (length, flags,
    // characters, cut at kMaxTextLength) to `out`; its hash.
    static quint32 encode(QByteArray& out, const QString& text)
    {
        const qsizetype n = qMin<qsizetype>(text.size(), kMaxTextLength);
        const ushort* u = text.utf16();
        bool wide = false;
        for (qsizetype i = 0; i < n; ++i)
            if (u[i] > 0xFF) {
                wide = true;
                break;
            }
        const qsizetype at = out.size();
        const qsizetype size = 3 + n * (wide ? 2 : 1);
        if (out.capacity() < at + size)
            out.reserve(qMax<qsizetype>(at + size, out.capacity() * 2));
        out.resize(at + size);
        char* p = out.data() + at;
        qToLittleEndian<quint16>(quint16(n), p);
        p[2] = wide ? 1 : 0;
        if (wide) {
            std::memcpy(p + 3, u, size_t(n) * 2);
        } else {
            for (qsizetype i = 0; i < n; ++i)
                p[3 + i] = char(u[i]);
        }
        const size_t full = qHashBits(p, size_t(size));
        return quint32(full) ^ quint32(quint64(full) >> 32);
    }

    // Index of the string (`bytes` as encode() made them) in the shared
    // string table, adding it when new; kNoIndex for any text of at most 255
    // characters once the table holds sharedStringLimit texts.
    static constexpr quint32 kNoIndex = 0xFFFFFFFF;
    quint32 sharedStringLimit = kSharedStringLimit;

    quint32 intern(const char* bytes, qsizetype size, quint32 h)
    {
        const quint16 n = qFromLittleEndian<quint16>(bytes);
        // Once the table is full a short text stands in its cell whether or
        // not the table holds it: no look-up.
        if (quint32(sstOffset.size()) >= sharedStringLimit && n <= 255)
            return kNoIndex;
        const quint32 mask = quint32(table.size() - 1);
        quint32 slot = h & mask;
        quint64* t = table.data();
        while (const quint64 entry = t[slot]) {
            if (quint32(entry >> 32) == h) {
                const quint32 i = quint32(entry) - 1;
                const quint32 start = sstOffset[i];
                const quint32 end = i + 1 < quint32(sstOffset.size()) ? sstOffset[i + 1]
                                                                        : quint32(sstRaw.size());
                if (end - start == quint32(size) && std::memcmp(sstRaw.constData() + start, bytes, size_t(size)) == 0)
                    return i;
            }
            slot = (slot + 1) & mask;
        }
        const quint32 index = quint32(sstOffset.size());
        sstOffset.append(quint32(sstRaw.size()));
        appendBytes(sstRaw, bytes, size);
        t[slot] = (quint64(h) << 32) | (index + 1);
        if (sstOffset.size() * 4 > table.size() * 3)
            grow();
        return index;
    }

    void grow()
    {
        QVector<quint64> bigger(table.size() * 2, 0);
        const quint32 mask = quint32(bigger.size() - 1);
        for (const quint64 entry : std::as_const(table)) {
            if (!entry)
                continue;
            quint32 slot = quint32(entry >> 32) & mask;
            while (bigger[slot])
                slot = (slot + 1) & mask;
            bigger[slot] = entry;
        }
        table.swap(bigger);
    }

    // SST and its CONTINUE records, then EXTSST.  `at` is the stream offset
    // where the SST record starts (the index EXTSST points into the stream).
    QByteArray stringTable(quint32 at) const
    {
        const quint32 count = quint32(sstOffset.size());
        const quint32 perBucket = qMax<quint32>(8, (count + 127) / 128);
        QByteArray out;
        out.reserve(sstRaw.size() + sstRaw.size() / kMaxRecordData * 5 + 64);
        QByteArray ext;
        put16(ext, quint16(perBucket));

        qsizetype recStart = 0;
        int room = 0;
        auto startRecord = [&](quint16 type) {
            if (!out.isEmpty())
                set16(out, recStart + 2, quint16(out.size() - recStart - 4));
            recStart = out.size();
            put16(out, type);
            put16(out, 0);
            room = kMaxRecordData;
        };
        startRecord(rSST);
        put32(out, sstTotal);
        put32(out, count);
        room -= 8;

        for (quint32 i = 0; i < count; ++i) {
            const char* s = sstRaw.constData() + sstOffset[i];
            const quint16 n = qFromLittleEndian<quint16>(s);
            const bool wide = s[2] & 1;
            const int cs = wide ? 2 : 1;
            // The header and the first character never part.
            if (room < 3 + (n ? cs : 0))
                startRecord(rCONTINUE);
            if (i % perBucket == 0) {
                put32(ext, at + quint32(out.size()));
                put16(ext, quint16(out.size() - recStart));
                put16(ext, 0);
            }
            out.append(s, 3);
            room -= 3;
            const char* chars = s + 3;
            int left = n;
            while (left > 0) {
                int fit = room / cs;
                if (fit == 0) {
                    startRecord(rCONTINUE);
                    put8(out, wide ? 1 : 0);  // the flags again, for the characters that follow
                    room -= 1;
                    continue;
                }
                fit = qMin(fit, left);
                out.append(chars, fit * cs);
                chars += fit * cs;
                left -= fit;
                room -= fit * cs;
            }
        }
        set16(out, recStart + 2, quint16(out.size() - recStart - 4));
        record(out, rEXTSST, ext);
        return out;
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

void WorkbookWriter::setSharedStringLimit(quint32 n) { d->sharedStringLimit = n; }

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
    const QByteArray strings = d->stringTable(quint32(globals.size()));
    const QByteArray globalsEnd = eof();

    QList<QByteArray> heads;
    const QByteArray end = eof();
    quint64 streamSize = quint64(globals.size() + strings.size() + globalsEnd.size());
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
    out.write(strings);
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
