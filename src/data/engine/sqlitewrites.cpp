#include "data/engine/sqlitewrites.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QVector>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace writtenPages {

namespace {

using Key = QPair<quint64, quint64>;  // device, inode

struct Record {
    QByteArray path;         // the file's real path when it was watched
    qint64 unit = 0;         // bytes of every write: the page size
    bool odd = false;        // a write of another size or out of step
    QVector<size_t> pages;   // hash of each page as last written
    QVector<bool> written;
};

QMutex& lock()
{
    static QMutex m;
    return m;
}

QHash<Key, std::shared_ptr<Record>>& records()
{
    static QHash<Key, std::shared_ptr<Record>> r;
    return r;
}

bool keyOf(const char* path, Key* key)
{
    struct stat st;
    if (!path || ::stat(path, &st) != 0)
        return false;
    *key = {quint64(st.st_dev), quint64(st.st_ino)};
    return true;
}

QByteArray realPath(const char* path)
{
    char* real = path ? ::realpath(path, nullptr) : nullptr;
    if (!real)
        return {};
    QByteArray r(real);
    ::free(real);
    return r;
}

// The record of the file at `path`, when it is the file that was watched: a
// file number is used again once its file is gone, so the record of a file
// removed unchecked must not be taken for a new file that got its number
// under another name.  Called under the lock.
std::shared_ptr<Record> recordOf(const char* path, const Key& key)
{
    const auto it = records().constFind(key);
    if (it == records().constEnd())
        return {};
    if (it.value()->path != realPath(path))
        return {};
    return it.value();
}

size_t pageHash(const void* data, qint64 size) { return qHashBits(data, size_t(size), 0x9E3779B9u); }

void note(Record& r, const void* data, qint64 amount, qint64 offset)
{
    QMutexLocker hold(&lock());
    if (r.unit == 0)
        r.unit = amount;
    if (amount != r.unit || offset % r.unit != 0) {
        r.odd = true;
        return;
    }
    const qsizetype page = qsizetype(offset / r.unit);
    if (page >= r.pages.size()) {
        r.pages.resize(page + 1);
        r.written.resize(page + 1);
    }
    r.pages[page] = pageHash(data, amount);
    r.written[page] = true;
}

void cut(Record& r, qint64 size)
{
    QMutexLocker hold(&lock());
    if (r.unit == 0) {
        r.odd = r.odd || size != 0;
        return;
    }
    if (size % r.unit != 0)
        r.odd = true;
    const qsizetype pages = qsizetype(size / r.unit);
    if (pages < r.pages.size()) {
        r.pages.resize(pages);
        r.written.resize(pages);
    }
}

// A file opened through the recording system: SQLite's handle first, the
// real one after it.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
    std::shared_ptr<Record>* record;  // null for a file not watched
};

sqlite3_vfs* root() { return sqlite3_vfs_find(nullptr); }
sqlite3_file* real(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

int fClose(sqlite3_file* f)
{
    File* p = reinterpret_cast<File*>(f);
    const int rc = p->real->pMethods ? p->real->pMethods->xClose(p->real) : SQLITE_OK;
    delete p->record;
    p->record = nullptr;
    return rc;
}
int fRead(sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return real(f)->pMethods->xRead(real(f), b, n, o); }
int fWrite(sqlite3_file* f, const void* b, int n, sqlite3_int64 o)
{
    const int rc = real(f)->pMethods->xWrite(real(f), b, n, o);
    File* p = reinterpret_cast<File*>(f);
    if (rc == SQLITE_OK && p->record)
        note(**p->record, b, n, o);
    return rc;
}
int fTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    const int rc = real(f)->pMethods->xTruncate(real(f), size);
    File* p = reinterpret_cast<File*>(f);
    if (rc == SQLITE_OK && p->record)
        cut(**p->record, size);
    return rc;
}
int fSync(sqlite3_file* f, int flags) { return real(f)->pMethods->xSync(real(f), flags); }
int fFileSize(sqlite3_file* f, sqlite3_int64* size) { return real(f)->pMethods->xFileSize(real(f), size); }
int fLock(sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); }
int fUnlock(sqlite3_file* f, int l) { return real(f)->pMethods->xUnlock(real(f), l); }
int fCheckReservedLock(sqlite3_file* f, int* out) { return real(f)->pMethods->xCheckReservedLock(real(f), out); }
int fFileControl(sqlite3_file* f, int op, void* arg) { return real(f)->pMethods->xFileControl(real(f), op, arg); }
int fSectorSize(sqlite3_file* f) { return real(f)->pMethods->xSectorSize(real(f)); }
int fDeviceCharacteristics(sqlite3_file* f) { return real(f)->pMethods->xDeviceCharacteristics(real(f)); }
int fShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** p)
{
    return real(f)->pMethods->xShmMap(real(f), region, size, extend, p);
}
int fShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return real(f)->pMethods->xShmLock(real(f), offset, n, flags);
}
void fShmBarrier(sqlite3_file* f) { real(f)->pMethods->xShmBarrier(real(f)); }
int fShmUnmap(sqlite3_file* f, int deleteFlag) { return real(f)->pMethods->xShmUnmap(real(f), deleteFlag); }
int fFetch(sqlite3_file* f, sqlite3_int64 o, int n, void** p) { return real(f)->pMethods->xFetch(real(f), o, n, p); }
int fUnfetch(sqlite3_file* f, sqlite3_int64 o, void* p) { return real(f)->pMethods->xUnfetch(real(f), o, p); }

const sqlite3_io_methods kMethods = {3,           fClose,       fRead,        fWrite,          fTruncate,
                                     fSync,       fFileSize,    fLock,        fUnlock,         fCheckReservedLock,
                                     fFileControl, fSectorSize, fDeviceCharacteristics, fShmMap, fShmLock,
                                     fShmBarrier, fShmUnmap,    fFetch,       fUnfetch};

int vOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags)
{
    File* p = reinterpret_cast<File*>(f);
    p->base.pMethods = nullptr;
    p->real = reinterpret_cast<sqlite3_file*>(p + 1);
    p->record = nullptr;
    const int rc = root()->xOpen(root(), name, p->real, flags, outFlags);
    if (rc != SQLITE_OK || !p->real->pMethods)
        return rc;
    // The system's files are of the newest kind; one that is not would need
    // methods of its own kind here.
    if (p->real->pMethods->iVersion < 3) {
        p->real->pMethods->xClose(p->real);
        return SQLITE_CANTOPEN;
    }
    p->base.pMethods = &kMethods;
    Key key;
    if ((flags & SQLITE_OPEN_MAIN_DB) && keyOf(name, &key)) {
        QMutexLocker hold(&lock());
        if (std::shared_ptr<Record> r = recordOf(name, key))
            p->record = new std::shared_ptr<Record>(std::move(r));
    }
    return SQLITE_OK;
}

int vDelete(sqlite3_vfs*, const char* name, int syncDir) { return root()->xDelete(root(), name, syncDir); }
int vAccess(sqlite3_vfs*, const char* name, int flags, int* out) { return root()->xAccess(root(), name, flags, out); }
int vFullPathname(sqlite3_vfs*, const char* name, int n, char* out)
{
    return root()->xFullPathname(root(), name, n, out);
}
void* vDlOpen(sqlite3_vfs*, const char* name) { return root()->xDlOpen(root(), name); }
void vDlError(sqlite3_vfs*, int n, char* out) { root()->xDlError(root(), n, out); }
void (*vDlSym(sqlite3_vfs*, void* h, const char* sym))(void) { return root()->xDlSym(root(), h, sym); }
void vDlClose(sqlite3_vfs*, void* h) { root()->xDlClose(root(), h); }
int vRandomness(sqlite3_vfs*, int n, char* out) { return root()->xRandomness(root(), n, out); }
int vSleep(sqlite3_vfs*, int us) { return root()->xSleep(root(), us); }
int vCurrentTime(sqlite3_vfs*, double* t) { return root()->xCurrentTime(root(), t); }
int vGetLastError(sqlite3_vfs*, int n, char* out) { return root()->xGetLastError(root(), n, out); }
int vCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* t) { return root()->xCurrentTimeInt64(root(), t); }

sqlite3_vfs* makeVfs()
{
    static sqlite3_vfs v{};
    sqlite3_vfs* r = root();
    v.iVersion = 2;
    v.szOsFile = int(sizeof(File)) + r->szOsFile;
    v.mxPathname = r->mxPathname;
    v.zName = "tavrin-written-pages";
    v.xOpen = vOpen;
    v.xDelete = vDelete;
    v.xAccess = vAccess;
    v.xFullPathname = vFullPathname;
    v.xDlOpen = vDlOpen;
    v.xDlError = vDlError;
    v.xDlSym = vDlSym;
    v.xDlClose = vDlClose;
    v.xRandomness = vRandomness;
    v.xSleep = vSleep;
    v.xCurrentTime = vCurrentTime;
    v.xGetLastError = vGetLastError;
    v.xCurrentTimeInt64 = vCurrentTimeInt64;
    sqlite3_vfs_register(&v, 0);
    return &v;
}

}  // namespace

const char* vfs()
{
    static sqlite3_vfs* v = makeVfs();
    return v->zName;
}

void watch(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    Key key;
    if (!keyOf(name.constData(), &key))
        return;
    auto r = std::make_shared<Record>();
    r->path = realPath(name.constData());
    QMutexLocker hold(&lock());
    records().insert(key, std::move(r));
}

void forget(const QString& path)
{
    Key key;
    if (!keyOf(QFile::encodeName(path).constData(), &key))
        return;
    QMutexLocker hold(&lock());
    records().remove(key);
}

Match compare(const QString& path, QString* problem)
{
    const QByteArray name = QFile::encodeName(path);
    Key key;
    std::shared_ptr<Record> r;
    if (keyOf(name.constData(), &key)) {
        QMutexLocker hold(&lock());
        r = recordOf(name.constData(), key);
        records().remove(key);
    }
    if (!r)
        return Match::Unknown;
    Record copy;
    {
        QMutexLocker hold(&lock());
        copy = *r;
    }
    if (copy.odd || copy.unit <= 0 || copy.written.contains(false))
        return Match::Unknown;
    const int fd = ::open(name.constData(), O_RDONLY);
    if (fd < 0)
        return Match::Unknown;
    // Read in large steps; the file was just written and is still in memory.
    const qint64 unit = copy.unit;
    const qint64 perRead = qMax<qint64>(1, (1 << 20) / unit);
    QByteArray buffer(qsizetype(perRead * unit), Qt::Uninitialized);
    qint64 page = 0;
    Match result = Match::Same;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer.data(), size_t(buffer.size()), off_t(page * unit));
        if (n < 0) {
            result = Match::Unknown;
            break;
        }
        if (n % unit != 0) {
            *problem = QStringLiteral("文件的长度不是整页");
            result = Match::Differs;
            break;
        }
        for (qint64 k = 0; k < n / unit; ++k, ++page) {
            if (page >= copy.pages.size()) {
                *problem = QStringLiteral("文件比写入的长");
                result = Match::Differs;
                break;
            }
            if (pageHash(buffer.constData() + k * unit, unit) != copy.pages[page]) {
                *problem = QStringLiteral("第") + QString::number(page + 1) + QStringLiteral("页与写入的不同");
                result = Match::Differs;
                break;
            }
        }
        if (result != Match::Same || n < buffer.size())
            break;
    }
    ::close(fd);
    if (result == Match::Same && page < copy.pages.size()) {
        *problem = QStringLiteral("文件比写入的短：写入了") + QString::number(copy.pages.size()) +
                   QStringLiteral("页，只读到") + QString::number(page) + QStringLiteral("页");
        result = Match::Differs;
    }
    return result;
}

}  // namespace writtenPages
