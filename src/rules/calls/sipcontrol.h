#pragma once
// The SIP line's side of baresip: the configuration the program starts its
// own baresip with, the netstring-framed JSON of baresip's TCP control
// interface (ctrl_tcp), and the caller's number taken from a SIP address.
// Plain functions over bytes and text; the device in ui/calls feeds them.

#include <QByteArray>
#include <QList>
#include <QString>

// The extension the SIP line is, as the device settings keep it.
struct SipAccount {
    QString user;      // the extension or account name (801, frontdesk)
    QString server;    // the PBX or SIP provider: host[:port]
    QString password;  // empty: no authentication
    quint16 localPort = 5060;  // where baresip takes calls on this computer
    bool registering = true;   // register at the server (else: direct calls only)
    QString listenAddress = QStringLiteral("0.0.0.0");

    bool operator==(const SipAccount&) const = default;
};

namespace sip {

// The largest control message taken; a longer one breaks the stream.
constexpr int kMaxMessage = 64 * 1024;

// Cuts a byte stream into netstrings ("<length>:<payload>,").  A malformed
// stream (no length, a length over the limit, no closing comma) makes
// broken() true; nothing more is returned until clear().
class NetstringReader {
public:
    explicit NetstringReader(int maxLength = kMaxMessage) : max_(maxLength) {}
    QList<QByteArray> feed(const QByteArray& bytes);
    bool broken() const { return broken_; }
    void clear();

private:
    QByteArray pending_;
    bool broken_ = false;
    int max_;
};

QByteArray netstring(const QByteArray& payload);

// A command for ctrl_tcp: {"command": ..., "params": ..., "token": ...}, framed.
QByteArray command(const QString& name, const QString& params = {}, const QString& token = {});

// What a control message says.
struct Event {
    enum Kind { Other, Incoming, Ringing, Established, Closed, Response };
    Kind kind = Other;
    bool outgoing = false;   // a call this side placed
    QString callId;
    QString peerUri;
    QString peerName;        // the display name the caller sent
    QString param;           // the reason of a close, the text of a response
    bool ok = false;         // of a response
    QString token;           // of a response
};
// Anything that is not a JSON object with "event" or "response" is Other.
Event parseEvent(const QByteArray& json);

// The user part of a sip:, sips: or tel: address (with or without a display
// name and angle brackets), percent-decoded, without parameters; empty when
// there is none.
QString uriUser(const QString& uri);

// Whether a close reason says another phone took the call.
bool answeredElsewhere(const QString& reason);

// What baresip is told to dial for a number: its digits by the program's
// number rule; empty when none are left.
QString dialString(const QString& number);

// baresip's "config" file: SIP on the account's local port, the control
// interface on 127.0.0.1:controlPort, no sound device (a bridge that
// plays and records nothing), G.711 only.
QByteArray configFile(const SipAccount& account, quint16 controlPort);
// baresip's "accounts" file: one line for the extension, calls answered by
// hand (never by baresip itself).
QByteArray accountsFile(const SipAccount& account);

// "host" or "host:port" of a server; false when empty or malformed.
bool validServer(const QString& server);

}  // namespace sip
