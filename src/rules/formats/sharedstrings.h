#pragma once
// The shared string table of an Excel 97-2003 workbook: every distinct text
// once, as the file stores it (length, flags, characters), found again
// through an open hash table whose entries hold the text's hash (upper half)
// and its index + 1, so that a probe touches one place in memory; and the
// SST and EXTSST records that carry it into the file.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <vector>

#include "rules/formats/compoundfile.h"

namespace xls {

class SharedStrings {
public:
    static constexpr quint32 kNoIndex = 0xFFFFFFFF;

    // `limit`: the texts the table takes at most (see intern()).
    explicit SharedStrings(quint32 limit) : limit_(limit) { table_.fill(0, 1024); }

    // Appends the text as the table holds it (length, flags, characters, cut
    // at `maxLength` characters) to `out`; its hash.
    static quint32 encode(QByteArray& out, const QString& text, int maxLength);
    // Asks memory for the place of a hash ahead of its look-up.
    void prefetch(quint32 hash) const { __builtin_prefetch(table_.constData() + (hash & quint32(table_.size() - 1))); }
    // Index of the string (`bytes` as encode() made them) in the table,
    // adding it when new; kNoIndex for any text of at most 255 characters
    // once the table holds `limit` texts.  A cell that refers to it is
    // counted.
    quint32 intern(const char* bytes, qsizetype size, quint32 hash);
    void setLimit(quint32 n) { limit_ = n; }

    // The lengths of the SST's records and the EXTSST record (`at`: the
    // stream offset where the SST record starts); the bytes they take.
    struct Plan {
        std::vector<quint16> lengths;
        QByteArray extsst;
        quint64 size = 0;
    };
    Plan plan(quint32 at) const;
    // The records as planned, straight from the strings into the file.
    bool write(ChunkedOutput& out, const Plan& plan) const;

private:
    template <class Sink>
    void walk(Sink& sink) const;
    quint32 bucketSize() const;
    void grow();

    QByteArray raw_;
    QVector<quint32> offset_;
    QVector<quint64> table_;
    quint32 references_ = 0;  // cells that refer to the table
    quint32 limit_;
};

}  // namespace xls
