#pragma once
// The container of an Excel 97-2003 file: an OLE2 compound file with one
// stream, "Workbook".  The file is written as the header, the stream padded
// to whole sectors, then the tail (directory, allocation table and, for
// streams past about 7 MB, its extension sectors).

#include <QByteArray>
#include <QFile>
#include <QList>

namespace xls {

class CompoundFile {
public:
    // For a stream of `streamSize` bytes (at least 4096: smaller streams
    // would belong in the mini stream).
    explicit CompoundFile(quint32 streamSize);

    // The stream's bytes padded to whole sectors.
    quint64 streamBytes() const;

    QByteArray header;  // 512 bytes
    QByteArray tail;    // directory, allocation table, its extension

private:
    quint32 streamSectors_ = 0;
};

// Bytes kept in blocks of a megabyte: appending never moves what is there.
class Blocks {
public:
    static constexpr qsizetype kBlock = 1 << 20;
    void append(const char* p, qsizetype n);
    qsizetype size() const;
    const QList<QByteArray>& blocks() const { return blocks_; }

private:
    QList<QByteArray> blocks_;
};

// Writes to a file in chunks of about a megabyte; the first failure sticks.
class ChunkedOutput {
public:
    explicit ChunkedOutput(QFile& f) : f_(f) {}
    bool write(const QByteArray& b) { return write(b.constData(), b.size()); }
    bool write(const char* p, qsizetype n);
    bool write(const Blocks& b);
    bool flush();

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QFile& f_;
    QByteArray buf_;
    bool ok_ = true;
};

}  // namespace xls
