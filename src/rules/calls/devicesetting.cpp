#include "rules/calls/devicesetting.h"

#include <QFile>
#include <QSaveFile>

#include "rules/files/paths.h"
#include "rules/files/privatefiles.h"
#include "rules/files/textfile.h"

QString deviceSettingFile() { return programFolder() + QStringLiteral("set/device.dat"); }

namespace {

void readSipValue(SipAccount* a, const QString& key, const QString& value)
{
    if (key == QLatin1String("user")) {
        a->user = value;
    } else if (key == QLatin1String("server")) {
        a->server = value;
    } else if (key == QLatin1String("password")) {
        a->password = value;
    } else if (key == QLatin1String("port")) {
        bool ok = false;
        const uint port = value.toUInt(&ok);
        if (ok && port > 0 && port <= 65535)
            a->localPort = quint16(port);
    } else if (key == QLatin1String("register")) {
        a->registering = value != QLatin1String("0");
    } else if (key == QLatin1String("listen") && !value.isEmpty()) {
        a->listenAddress = value;
    }
}

}  // namespace

DeviceSetting readDeviceSetting(const QString& path)
{
    DeviceSetting s;
    for (const auto& [key, value] : readKeyValues(path)) {
        if (key == QLatin1String("device")) {
            if (value.compare(QLatin1String("serial"), Qt::CaseInsensitive) == 0)
                s.kind = DeviceSetting::Serial;
            else if (value.compare(QLatin1String("server"), Qt::CaseInsensitive) == 0)
                s.kind = DeviceSetting::Server;
            else if (value.compare(QLatin1String("sip"), Qt::CaseInsensitive) == 0)
                s.kind = DeviceSetting::Sip;
            else
                s.kind = DeviceSetting::Simulated;
        } else if (key == QLatin1String("port")) {
            s.port = value;
        } else if (key == QLatin1String("server")) {
            s.server = value;
        } else if (key.startsWith(QLatin1String("sip_"))) {
            readSipValue(&s.sip, key.mid(4), value);
        }
    }
    return s;
}

void writeDeviceSetting(const QString& path, const DeviceSetting& s)
{
    static const char* const kinds[] = {"simulated", "serial", "server", "sip"};
    const QStringList lines{
        QStringLiteral("device=") + QLatin1String(kinds[s.kind]),
        QStringLiteral("port=") + s.port,
        QStringLiteral("server=") + s.server,
        QStringLiteral("sip_user=") + s.sip.user,
        QStringLiteral("sip_server=") + s.sip.server,
        QStringLiteral("sip_password=") + s.sip.password,
        QStringLiteral("sip_port=") + QString::number(s.sip.localPort),
        QStringLiteral("sip_register=") + QLatin1String(s.sip.registering ? "1" : "0"),
        QStringLiteral("sip_listen=") + s.sip.listenAddress,
    };
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += toGbk(line) + "\r\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !privatefiles::applyMode(file, path) || file.write(bytes) != bytes.size() ||
        !file.commit())
        throw FileError(QStringLiteral("无法写入文件 %1：%2").arg(path, file.errorString()));
}

bool splitServerAddress(const QString& text, QString* host, quint16* port)
{
    const QString t = text.trimmed();
    QString h = t;
    QString p;
    if (t.startsWith(QLatin1Char('['))) {
        const qsizetype close = t.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        h = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            p = rest.mid(1);
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = t.indexOf(QLatin1Char(':'));
        h = t.left(colon);
        p = t.mid(colon + 1);
    }
    h = h.trimmed();
    if (h.isEmpty() || h.contains(QLatin1Char(' ')))
        return false;
    quint16 number = kDefaultServerPort;
    if (!p.isNull()) {
        bool ok = false;
        const uint v = p.trimmed().toUInt(&ok);
        if (!ok || v == 0 || v > 65535)
            return false;
        number = static_cast<quint16>(v);
    }
    *host = h;
    *port = number;
    return true;
}
