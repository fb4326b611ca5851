#pragma once
// What holds the window thread: every event the event loop delivers (not
// the ones sent from inside another) that takes longer than a threshold,
// with what it went to.  A timer's tick, a queued call, a paint of the
// window, a show: each names its receiver, so that a stall can be told
// apart from its neighbours.  Only while recording.

#include <QElapsedTimer>
#include <QEvent>
#include <QMetaEnum>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>
#include <algorithm>

#include "stallwork.h"
#include "ui/shell/application.h"

namespace bench {

class TimedApplication : public Application {
public:
    struct Slow {
        double at, ms;  // from record(), and how long it took
        double cpuMs;   // of it the thread ran (the rest it waited)
        QString what;   // event type, receiver class, its name, its parent's class
    };

    TimedApplication(int& argc, char** argv) : Application(argc, argv) {}

    // Records deliveries of at least `ms` from now on.
    void record(double ms)
    {
        threshold_ = ms;
        clock_.start();
        slow_.clear();
        recording_ = true;
    }
    void stop() { recording_ = false; }
    // Runs `f` as if it were an event: a call outside the event loop that
    // holds the thread as well (the window's show()).
    template <class F>
    void timed(const QString& what, F f)
    {
        const qint64 from = clock_.nsecsElapsed();
        const double cpuFrom = StallWork::threadCpuMs();
        ++depth_;
        f();
        --depth_;
        const double ms = (clock_.nsecsElapsed() - from) / 1e6;
        if (recording_ && ms >= threshold_)
            slow_.push_back({from / 1e6, ms, StallWork::threadCpuMs() - cpuFrom, what});
    }
    // The slowest first.
    QVector<Slow> slowest(int count) const
    {
        QVector<Slow> s = slow_;
        std::sort(s.begin(), s.end(), [](const Slow& a, const Slow& b) { return a.ms > b.ms; });
        return s.mid(0, count);
    }

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!recording_ || depth_ > 0)
            return Application::notify(receiver, event);
        // Named before: the receiver may be gone once its event ran.
        const auto* timer = qobject_cast<QTimer*>(receiver);
        const Receiver r{event->type(), receiver->metaObject()->className(),
                         timer ? receiver->objectName() + QStringLiteral("(every ") +
                                     QString::number(timer->interval()) + QStringLiteral(" ms)")
                               : receiver->objectName(),
                         receiver->parent() ? receiver->parent()->metaObject()->className() : nullptr,
                         receiver->parent() ? receiver->parent()->objectName() : QString()};
        ++depth_;
        const qint64 from = clock_.nsecsElapsed();
        const double cpuFrom = StallWork::threadCpuMs();
        const bool result = Application::notify(receiver, event);
        --depth_;
        const double ms = (clock_.nsecsElapsed() - from) / 1e6;
        if (ms >= threshold_)
            slow_.push_back({from / 1e6, ms, StallWork::threadCpuMs() - cpuFrom, r.describe()});
        return result;
    }

private:
    struct Receiver {
        int type;
        const char* className;
        QString name;
        const char* parentClass;
        QString parentName;

        QString describe() const
        {
            const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
            QString s = typeName ? QString::fromLatin1(typeName) : QString::number(type);
            s += QLatin1Char(' ') + QString::fromLatin1(className);
            if (!name.isEmpty())
                s += QLatin1Char('#') + name;
            if (parentClass) {
                s += QStringLiteral(" in ") + QString::fromLatin1(parentClass);
                if (!parentName.isEmpty())
                    s += QLatin1Char('#') + parentName;
            }
            return s;
        }
    };

    QElapsedTimer clock_;
    QVector<Slow> slow_;
    double threshold_ = 0;
    bool recording_ = false;
    int depth_ = 0;
};

}  // namespace bench
