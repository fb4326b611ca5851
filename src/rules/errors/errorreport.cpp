#include "rules/errors/errorreport.h"

#include <cstdio>

#include "rules/errors/diskfull.h"

AppError::AppError(const QString& message) : std::runtime_error(message.toUtf8().toStdString()) {}

namespace errorreport {
namespace {
std::function<void(const QString&)>& sink()
{
    static std::function<void(const QString&)> s;
    return s;
}
std::function<void(const QString&)>& presenter()
{
    static std::function<void(const QString&)> p;
    return p;
}
}  // namespace

void setSink(std::function<void(const QString&)> s) { sink() = std::move(s); }

void setPresenter(std::function<void(const QString&)> p) { presenter() = std::move(p); }

void report(const QString& given)
{
    // A full disk is said so, whatever words the failure came in.
    const QString text = withDiskFullSaid(given);
    if (sink())
        sink()(text);
    else if (presenter())
        presenter()(text);
    else
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

void reportCurrentException()
{
    try {
        throw;
    } catch (const AbortOperation&) {
        // silent by design
    } catch (const std::exception& e) {
        // A failure that came without a reason is still told in words.
        const QString why = QString::fromUtf8(e.what()).trimmed();
        report(why.isEmpty() ? QStringLiteral("操作没有完成（没有得到出错原因），请再试一次。") : why);
    } catch (...) {
        report(QStringLiteral("未知错误"));
    }
}

}  // namespace errorreport
