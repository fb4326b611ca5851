#pragma once
// The program's one general error report: an error that an operation does not
// handle itself ends that operation, its text is shown in a message box and
// the program keeps running.

#include <QString>
#include <functional>
#include <stdexcept>


// Base of the program's own errors; the message is kept as UTF-8.
class AppError : public std::runtime_error {
public:
    explicit AppError(const QString& message);
    QString message() const { return QString::fromUtf8(what()); }
};

// A silent stop: ends the operation without any message.
class AbortOperation : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

namespace errorreport {

// Shows the text of an error in a message box (or hands it to the sink
// installed by tests).
void report(const QString& text);

// How a report is shown when no sink is installed (the windows install
// their message box, see ui/app/errorbox.h); without one a report goes to
// standard error.
void setPresenter(std::function<void(const QString&)> presenter);

// Tests replace the message box by a sink; an empty function restores it.
void setSink(std::function<void(const QString&)> sink);

// Turns the exception in flight into a report.  Call only inside a catch.
void reportCurrentException();

}  // namespace errorreport

// Runs one operation; an uncaught error ends it and is reported.
// Returns false when the operation was ended by an error or an abort.
template <class F>
bool guarded(F&& operation)
{
    try {
        operation();
        return true;
    } catch (...) {
        errorreport::reportCurrentException();
        return false;
    }
}
