#pragma once
// What the data module asks of the person at the screen.  The data layer
// has no windows: the windows fill this in (windowquestions.h) and hand it
// to the data module.

#include <QString>

class DataQuestions {
public:
    virtual ~DataQuestions() = default;
    // A yes/no question (the confirmation window); true for yes.
    virtual bool confirm(const QString& question) = 0;
    // A notice with one button (the notice window).
    virtual void notice(const QString& text) = 0;
    // Long work under way: `done` of `total` steps; done == total ends it.
    virtual void progress(const QString& what, qint64 done, qint64 total) = 0;
};
