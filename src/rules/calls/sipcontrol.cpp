#include "rules/calls/sipcontrol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "rules/calls/callrules.h"

namespace sip {

QList<QByteArray> NetstringReader::feed(const QByteArray& bytes)
{
    QList<QByteArray> out;
    if (broken_)
        return out;
    pending_ += bytes;
    for (;;) {
        const qsizetype colon = pending_.indexOf(':');
        if (colon < 0) {
            // Only the length so far: at most the digits of the limit.
            if (pending_.size() > 10)
                broken_ = true;
            break;
        }
        bool ok = false;
        const QByteArray lengthText = pending_.left(colon);
        const qlonglong length = lengthText.toLongLong(&ok);
        bool digitsOnly = !lengthText.isEmpty();
        for (char c : lengthText)
            digitsOnly = digitsOnly && c >= '0' && c <= '9';
        if (!ok || !digitsOnly || length > max_) {
            broken_ = true;
            break;
        }
        if (pending_.size() < colon + 1 + length + 1)
            break;  // the rest is still on its way
        if (pending_.at(colon + 1 + length) != ',') {
            broken_ = true;
            break;
        }
        out << pending_.mid(colon + 1, length);
        pending_.remove(0, colon + 1 + length + 1);
    }
    if (broken_)
        pending_.clear();
    return out;
}

void NetstringReader::clear()
{
    pending_.clear();
    broken_ = false;
}

QByteArray netstring(const QByteArray& payload)
{
    return QByteArray::number(payload.size()) + ':' + payload + ',';
}

QByteArray command(const QString& name, const QString& params, const QString& token)
{
    QJsonObject o{{QStringLiteral("command"), name}};
    if (!params.isEmpty())
        o.insert(QStringLiteral("params"), params);
    if (!token.isEmpty())
        o.insert(QStringLiteral("token"), token);
    return netstring(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

Event parseEvent(const QByteArray& json)
{
    Event e;
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    if (!doc.isObject())
        return e;
    const QJsonObject o = doc.object();
    if (o.value(QStringLiteral("response")).toBool()) {
        e.kind = Event::Response;
        e.ok = o.value(QStringLiteral("ok")).toBool();
        e.param = o.value(QStringLiteral("data")).toString();
        e.token = o.value(QStringLiteral("token")).toString();
        return e;
    }
    if (!o.value(QStringLiteral("event")).toBool())
        return e;
    const QString type = o.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("CALL_INCOMING"))
        e.kind = Event::Incoming;
    else if (type == QLatin1String("CALL_RINGING"))
        e.kind = Event::Ringing;
    else if (type == QLatin1String("CALL_ESTABLISHED"))
        e.kind = Event::Established;
    else if (type == QLatin1String("CALL_CLOSED"))
        e.kind = Event::Closed;
    e.outgoing = o.value(QStringLiteral("direction")).toString() == QLatin1String("outgoing");
    e.callId = o.value(QStringLiteral("id")).toString();
    e.peerUri = o.value(QStringLiteral("peeruri")).toString();
    e.peerName = o.value(QStringLiteral("peerdisplayname")).toString();
    e.param = o.value(QStringLiteral("param")).toString();
    return e;
}

QString uriUser(const QString& uri)
{
    QString t = uri.trimmed();
    const qsizetype open = t.indexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = t.indexOf(QLatin1Char('>'), open);
        t = t.mid(open + 1, close < 0 ? -1 : close - open - 1).trimmed();
    }
    qsizetype start = -1;
    for (const char* scheme : {"sips:", "sip:", "tel:"}) {
        if (t.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) {
            start = qsizetype(qstrlen(scheme));
            break;
        }
    }
    if (start < 0)
        return {};
    QString rest = t.mid(start);
    const bool tel = t.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive);
    if (!tel) {
        const qsizetype at = rest.indexOf(QLatin1Char('@'));
        if (at < 0)
            return {};  // a host alone has no user
        rest = rest.left(at);
        // user:password
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        if (colon >= 0)
            rest = rest.left(colon);
    }
    // user parameters (";phone-context=...", ";isub=...")
    const qsizetype semi = rest.indexOf(QLatin1Char(';'));
    if (semi >= 0)
        rest = rest.left(semi);
    return QUrl::fromPercentEncoding(rest.toUtf8()).trimmed();
}

bool answeredElsewhere(const QString& reason)
{
    return reason.contains(QLatin1String("elsewhere"), Qt::CaseInsensitive);
}

QString dialString(const QString& number) { return numberDigits(number); }

bool validServer(const QString& server)
{
    const QString t = server.trimmed();
    if (t.isEmpty() || t.contains(QLatin1Char(' ')) || t.contains(QLatin1Char('@')) ||
        t.contains(QLatin1Char(';')) || t.contains(QLatin1Char('<')) || t.contains(QLatin1Char('>')))
        return false;
    const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon < 0 || t.startsWith(QLatin1Char('[')))
        return colon != 0;
    bool ok = false;
    const uint port = t.mid(colon + 1).toUInt(&ok);
    return colon > 0 && ok && port > 0 && port <= 65535;
}

QByteArray configFile(const SipAccount& a, quint16 controlPort)
{
    const QByteArray listen = a.listenAddress.toUtf8() + ':' + QByteArray::number(a.localPort);
    QByteArray c;
    c += "# Written by the program for its SIP line; changed settings write it anew.\n";
    c += "poll_method epoll\n";
    c += "sip_listen " + listen + "\n";
    if (a.listenAddress != QLatin1String("0.0.0.0"))
        c += "net_interface " + a.listenAddress.toUtf8() + "\n";
    c += "call_local_timeout 120\n";
    c += "call_max_calls 4\n";
    // No sound card: the line only reports calls and dials.
    c += "audio_player aubridge,tavrin\n";
    c += "audio_source aubridge,tavrin\n";
    c += "audio_alert aubridge,tavrin\n";
    c += "module_path /usr/lib/baresip/modules\n";
    c += "module g711.so\n";
    c += "module aubridge.so\n";
    c += "module_tmp account.so\n";
    c += "module_app menu.so\n";
    c += "module_app ctrl_tcp.so\n";
    c += "ctrl_tcp_listen 127.0.0.1:" + QByteArray::number(controlPort) + "\n";
    return c;
}

QByteArray accountsFile(const SipAccount& a)
{
    QByteArray line = "<sip:" + QUrl::toPercentEncoding(a.user.trimmed()) + '@' + a.server.trimmed().toUtf8() + '>';
    if (!a.password.isEmpty())
        line += ";auth_pass=" + a.password.toUtf8();
    line += a.registering ? ";regint=600" : ";regint=0";
    line += ";answermode=manual";
    return line + '\n';
}

}  // namespace sip
