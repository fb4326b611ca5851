#pragma once
// A zip file written on a thread of its own: the parts' bytes are handed
// over in pieces and deflated there, while the caller makes the next piece.
// A few pieces wait at most; the caller waits for a free one beyond that.
// On a machine without a processor to spare the pieces are deflated at once
// on the caller's thread.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace zipstream {

class ZipOut {
public:
    static constexpr qsizetype kPiece = 1 << 20;  // bytes a piece holds
    static constexpr int kPieces = 6;             // pieces made, waiting or being deflated

    ZipOut() = default;
    ~ZipOut();  // an unfinished file is closed as it is
    ZipOut(const ZipOut&) = delete;
    ZipOut& operator=(const ZipOut&) = delete;

    // Creates the file (false when it cannot) and starts the thread when
    // there is a processor for it.
    bool open(const QString& path);
    // The parts follow one another: begin, pieces, end.  `level` 1 ... 9;
    // `large` for a part that may pass 4 GB.
    void beginPart(const QByteArray& name, int level, bool large);
    // A piece to fill (capacity kPiece, or n when more); waits while all
    // are taken.
    std::vector<char> takePiece(qsizetype n = 0);
    // Hands the first `used` bytes of the piece over.
    void write(std::vector<char>&& piece, qsizetype used);
    void endPart();
    // Whether something has gone wrong so far (the caller may stop early).
    bool failed() const { return failed_.load(); }
    // Waits for everything handed over, completes the file; false with the
    // first thing that went wrong.
    bool close(QString* problem);

private:
    struct Job {
        enum Kind { Begin, Data, End } kind;
        QByteArray name;
        int level = 1;
        bool large = false;
        std::vector<char> data;
        qsizetype used = 0;
    };
    void post(Job&& job);
    void run();
    void fail(const QString& why);
    void doJob(Job& job);

    void* zip_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::vector<std::vector<char>> free_;
    int out_ = 0;  // pieces taken and not yet back
    bool last_ = false;
    QString problem_;  // written by the thread, read after it ended
    std::atomic<bool> failed_{false};
};

}  // namespace zipstream
