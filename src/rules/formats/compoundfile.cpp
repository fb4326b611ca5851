#include "rules/formats/compoundfile.h"

#include <QString>
#include <cstring>

#include "rules/formats/littleendian.h"

namespace xls {

namespace {

constexpr quint32 kSector = 512;
constexpr quint32 FREESECT = 0xFFFFFFFF, ENDOFCHAIN = 0xFFFFFFFE, FATSECT = 0xFFFFFFFD,
                  DIFSECT = 0xFFFFFFFC, NOSTREAM = 0xFFFFFFFF;

QByteArray dirEntry(const QString& name, quint8 type, quint32 child, quint32 start, quint32 size)
{
    QByteArray e(128, '\0');
    if (type != 0) {
        std::memcpy(e.data(), name.utf16(), size_t(name.size()) * 2);
        set16(e, 64, quint16((name.size() + 1) * 2));
        e[66] = char(type);
        e[67] = 1;  // black
    }
    set32(e, 68, NOSTREAM);
    set32(e, 72, NOSTREAM);
    set32(e, 76, type == 0 ? NOSTREAM : child);
    set32(e, 116, type == 0 ? 0 : start);
    set32(e, 120, size);
    return e;
}

}  // namespace

CompoundFile::CompoundFile(quint32 size)
{
    const quint32 nStream = (size + kSector - 1) / kSector;
    quint32 nFat = 1, nDifat = 0;
    for (;;) {
        const quint32 total = nStream + 1 + nFat + nDifat;
        const quint32 needFat = (total + 127) / 128;
        const quint32 needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == nFat && needDifat == nDifat)
            break;
        nFat = needFat;
        nDifat = needDifat;
    }
    const quint32 dirSector = nStream;
    const quint32 firstFat = dirSector + 1;
    const quint32 firstDifat = firstFat + nFat;

    header = QByteArray(512, '\0');
    const uchar sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header.data(), sig, 8);
    set16(header, 24, 0x003E);
    set16(header, 26, 0x0003);
    set16(header, 28, 0xFFFE);
    set16(header, 30, 9);
    set16(header, 32, 6);
    set32(header, 44, nFat);
    set32(header, 48, dirSector);
    set32(header, 56, 4096);
    set32(header, 60, ENDOFCHAIN);
    set32(header, 64, 0);
    set32(header, 68, nDifat ? firstDifat : ENDOFCHAIN);
    set32(header, 72, nDifat);
    for (quint32 i = 0; i < 109; ++i)
        set32(header, 76 + i * 4, i < nFat ? firstFat + i : FREESECT);

    QByteArray dir;
    dir.append(dirEntry(QStringLiteral("Root Entry"), 5, 1, ENDOFCHAIN, 0));
    dir.append(dirEntry(QStringLiteral("Workbook"), 2, NOSTREAM, 0, size));
    dir.append(dirEntry(QString(), 0, 0, 0, 0));
    dir.append(dirEntry(QString(), 0, 0, 0, 0));

    QByteArray fat;
    fat.reserve(qsizetype(nFat) * kSector);
    for (quint32 i = 0; i < nStream; ++i)
        put32(fat, i + 1 < nStream ? i + 1 : ENDOFCHAIN);
    put32(fat, ENDOFCHAIN);  // directory
    for (quint32 i = 0; i < nFat; ++i)
        put32(fat, FATSECT);
    for (quint32 i = 0; i < nDifat; ++i)
        put32(fat, DIFSECT);
    while (quint32(fat.size()) < nFat * kSector)
        put32(fat, FREESECT);

    QByteArray difat;
    for (quint32 k = 0; k < nDifat; ++k) {
        for (quint32 j = 0; j < 127; ++j) {
            const quint32 f = 109 + k * 127 + j;
            put32(difat, f < nFat ? firstFat + f : FREESECT);
        }
        put32(difat, k + 1 < nDifat ? firstDifat + k + 1 : ENDOFCHAIN);
    }

    tail = dir + fat + difat;
    streamSectors_ = nStream;
}

quint64 CompoundFile::streamBytes() const { return quint64(streamSectors_) * kSector; }

void Blocks::append(const char* p, qsizetype n)
{
    while (n > 0) {
        if (blocks_.isEmpty() || blocks_.last().size() == blocks_.last().capacity()) {
            blocks_.append(QByteArray());
            blocks_.last().reserve(qMax(kBlock, n));
        }
        QByteArray& b = blocks_.last();
        const qsizetype take = qMin(n, b.capacity() - b.size());
        const qsizetype at = b.size();
        b.resize(at + take);  // within the capacity: nothing moves
        std::memcpy(b.data() + at, p, size_t(take));
        p += take;
        n -= take;
    }
}

qsizetype Blocks::size() const
{
    qsizetype n = 0;
    for (const QByteArray& b : blocks_)
        n += b.size();
    return n;
}

bool ChunkedOutput::write(const Blocks& b)
{
    for (const QByteArray& block : b.blocks())
        if (!write(block))
            return false;
    return true;
}

bool ChunkedOutput::write(const char* p, qsizetype n)
{
    if (!ok_)
        return false;
    if (buf_.size() + n > kChunk && !flush())
        return false;
    if (n > kChunk) {
        ok_ = f_.write(p, n) == n;
        return ok_;
    }
    buf_.append(p, n);
    return true;
}

bool ChunkedOutput::flush()
{
    if (ok_ && !buf_.isEmpty())
        ok_ = f_.write(buf_) == buf_.size();
    buf_.clear();
    return ok_;
}

}  // namespace xls
