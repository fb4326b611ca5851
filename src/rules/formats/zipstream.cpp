#include "rules/formats/zipstream.h"

#include <zip.h>

#include <QFile>

#include "rules/transfer/spareprocessor.h"

namespace zipstream {

ZipOut::~ZipOut()
{
    if (zip_) {
        QString ignored;
        close(&ignored);
    }
}

bool ZipOut::open(const QString& path)
{
    zip_ = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip_)
        return false;
    // Without a processor to spare the pieces are deflated as they come.
    if (spareprocessor::available())
        thread_ = std::thread([this] { run(); });
    return true;
}

void ZipOut::beginPart(const QByteArray& name, int level, bool large)
{
    Job job{Job::Begin, name, level, large, {}, 0};
    post(std::move(job));
}

std::vector<char> ZipOut::takePiece(qsizetype n)
{
    std::vector<char> piece;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // All taken: the thread is let catch up by half before the next
        // (a wake-up a piece would each wait its turn on a busy machine).
        if (out_ >= kPieces)
            changed_.wait(lock, [this] { return out_ <= kPieces / 2; });
        if (!free_.empty()) {
            piece = std::move(free_.back());
            free_.pop_back();
        }
        ++out_;
    }
    const size_t want = size_t(qMax(n, kPiece));
    if (piece.size() < want)
        piece.resize(want);
    return piece;
}

void ZipOut::write(std::vector<char>&& piece, qsizetype used)
{
    Job job{Job::Data, {}, 0, false, std::move(piece), used};
    post(std::move(job));
}

void ZipOut::endPart() { post(Job{Job::End, {}, 0, false, {}, 0}); }

void ZipOut::post(Job&& job)
{
    if (!thread_.joinable()) {
        doJob(job);
        if (job.kind == Job::Data) {
            std::lock_guard<std::mutex> lock(mutex_);
            free_.push_back(std::move(job.data));
            --out_;
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

bool ZipOut::close(QString* problem)
{
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            last_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    if (zip_ && zipClose(zip_, nullptr) != ZIP_OK)
        fail(QStringLiteral("写入文件时出错"));
    zip_ = nullptr;
    if (problem)
        *problem = problem_;
    return problem_.isEmpty();
}

void ZipOut::fail(const QString& why)
{
    if (problem_.isEmpty())
        problem_ = why;
    failed_ = true;
}

void ZipOut::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !jobs_.empty() || last_; });
            if (jobs_.empty())
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        doJob(job);
        if (job.kind == Job::Data) {
            bool caughtUp = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                free_.push_back(std::move(job.data));
                caughtUp = --out_ == kPieces / 2;
            }
            if (caughtUp)
                changed_.notify_all();
        }
    }
}

void ZipOut::doJob(Job& job)
{
    if (failed_)
        return;  // after a failure the rest is only passed over
    switch (job.kind) {
    case Job::Begin: {
        // Every part dated 1980-01-01, the first day a zip can tell: the same
        // rows give the same file.
        zip_fileinfo info{};
        info.tmz_date.tm_mday = 1;
        info.tmz_date.tm_year = 1980;
        if (zipOpenNewFileInZip64(zip_, job.name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  job.level, job.large ? 1 : 0) != ZIP_OK)
            fail(QStringLiteral("不能在压缩包中添加 ") + QString::fromUtf8(job.name));
        break;
    }
    case Job::Data:
        if (job.used > 0 && zipWriteInFileInZip(zip_, job.data.data(), unsigned(job.used)) != ZIP_OK)
            fail(QStringLiteral("写入文件时出错"));
        break;
    case Job::End:
        if (zipCloseFileInZip(zip_) != ZIP_OK)
            fail(QStringLiteral("写入文件时出错"));
        break;
    }
}

}  // namespace zipstream
