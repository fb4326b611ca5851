#include "rules/formats/sharedstrings.h"

#include <QtEndian>
#include <cstring>

#include "rules/formats/biffrecords.h"
#include "rules/formats/littleendian.h"

namespace xls {

namespace {

// Appends at the end, growing by half again when full.
void appendBytes(QByteArray& to, const char* p, qsizetype n)
{
    const qsizetype at = to.size();
    if (to.capacity() < at + n)
        to.reserve(qMax<qsizetype>(at + n, to.capacity() + to.capacity() / 2 + 4096));
    to.resize(at + n);
    std::memcpy(to.data() + at, p, size_t(n));
}

}  // namespace

quint32 SharedStrings::encode(QByteArray& out, const QString& text, int maxLength)
{
    const qsizetype n = qMin<qsizetype>(text.size(), maxLength);
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

quint32 SharedStrings::intern(const char* bytes, qsizetype size, quint32 hash)
{
    const quint16 n = qFromLittleEndian<quint16>(bytes);
    // Once the table_ is full a short text stands in its cell whether or
    // not the table_ holds it: no look-up.
    if (quint32(offset_.size()) >= limit_ && n <= 255)
        return kNoIndex;
    const quint32 mask = quint32(table_.size() - 1);
    quint32 slot = hash & mask;
    quint64* t = table_.data();
    while (const quint64 entry = t[slot]) {
        if (quint32(entry >> 32) == hash) {
            const quint32 i = quint32(entry) - 1;
            const quint32 start = offset_[i];
            const quint32 end = i + 1 < quint32(offset_.size()) ? offset_[i + 1]
                                                                    : quint32(raw_.size());
            if (end - start == quint32(size) && std::memcmp(raw_.constData() + start, bytes, size_t(size)) == 0)
            {
                ++references_;
                return i;
            }
        }
        slot = (slot + 1) & mask;
    }
    const quint32 index = quint32(offset_.size());
    offset_.append(quint32(raw_.size()));
    appendBytes(raw_, bytes, size);
    t[slot] = (quint64(hash) << 32) | (index + 1);
    if (offset_.size() * 4 > table_.size() * 3)
        grow();
    ++references_;
    return index;
}

void SharedStrings::grow()
{
    QVector<quint64> bigger(table_.size() * 2, 0);
    const quint32 mask = quint32(bigger.size() - 1);
    for (const quint64 entry : std::as_const(table_)) {
        if (!entry)
            continue;
        quint32 slot = quint32(entry >> 32) & mask;
        while (bigger[slot])
            slot = (slot + 1) & mask;
        bigger[slot] = entry;
    }
    table_.swap(bigger);
}

quint32 SharedStrings::bucketSize() const { return qMax<quint32>(8, (quint32(offset_.size()) + 127) / 128); }

// The SST and its CONTINUE records, walked for `sink`: sink.record(type) at
// the start of each record, sink.bytes(p, n) for its data, and
// sink.bucket(offset in the string table, offset in its record) at every
// string EXTSST points to.  Walked once to learn the records' lengths and
// once to write them.
template <class Sink>
void SharedStrings::walk(Sink& sink) const
{
    const quint32 count = quint32(offset_.size());
    const quint32 perBucket = bucketSize();
    quint32 pos = 0, recStart = 0;
    int room = 0;
    auto startRecord = [&](quint16 type) {
        sink.record(type);
        recStart = pos;
        pos += 4;
        room = kMaxRecordData;
    };
    auto put = [&](const char* p, int n) {
        sink.bytes(p, n);
        pos += quint32(n);
        room -= n;
    };
    startRecord(rSST);
    char head[8];
    qToLittleEndian<quint32>(references_, head);
    qToLittleEndian<quint32>(count, head + 4);
    put(head, 8);
    for (quint32 i = 0; i < count; ++i) {
        const char* s = raw_.constData() + offset_[i];
        const quint16 n = qFromLittleEndian<quint16>(s);
        const bool wide = s[2] & 1;
        const int cs = wide ? 2 : 1;
        // The header and the first character never part.
        if (room < 3 + (n ? cs : 0))
            startRecord(rCONTINUE);
        if (i % perBucket == 0)
            sink.bucket(pos, pos - recStart);
        put(s, 3);
        const char* chars = s + 3;
        int left = n;
        while (left > 0) {
            int fit = room / cs;
            if (fit == 0) {
                startRecord(rCONTINUE);
                const char flags = wide ? 1 : 0;  // again, for the characters that follow
                put(&flags, 1);
                continue;
            }
            fit = qMin(fit, left);
            put(chars, fit * cs);
            chars += fit * cs;
            left -= fit;
        }
    }
}

SharedStrings::Plan SharedStrings::plan(quint32 at) const
{
    struct Counter {
        Plan plan;
        quint32 at;
        QByteArray ext;
        void record(quint16) { plan.lengths.push_back(0); plan.size += 4; }
        void bytes(const char*, int n) { plan.lengths.back() += quint16(n); plan.size += quint64(n); }
        void bucket(quint32 offset, quint32 inRecord)
        {
            put32(ext, at + offset);
            put16(ext, quint16(inRecord));
            put16(ext, 0);
        }
    } c{{}, at, {}};
    put16(c.ext, quint16(bucketSize()));
    walk(c);
    record(c.plan.extsst, rEXTSST, c.ext);
    c.plan.size += quint64(c.plan.extsst.size());
    return c.plan;
}

bool SharedStrings::write(ChunkedOutput& out, const Plan& plan) const
{
    struct Writer {
        ChunkedOutput& out;
        const std::vector<quint16>& lengths;
        size_t k = 0;
        void record(quint16 type)
        {
            char h[4];
            qToLittleEndian<quint16>(type, h);
            qToLittleEndian<quint16>(lengths[k++], h + 2);
            out.write(h, 4);
        }
        void bytes(const char* p, int n) { out.write(p, n); }
        void bucket(quint32, quint32) {}
    } w{out, plan.lengths};
    walk(w);
    return out.write(plan.extsst);
}

}  // namespace xls
