#pragma once
// Which caller-ID device the program listens to: the simulated one, a modem
// on a serial port, a network caller-ID server or a SIP line.  Kept in
// set/device.dat, GBK with CR LF like the other set files, readable by its
// owner only (it may hold the SIP password):
//     device=simulated | serial | server | sip
//     port=<serial port, e.g. COM3 or /dev/ttyACM0>
//     server=<host[:port]>
//     sip_user=<extension>  sip_server=<PBX host[:port]>  sip_password=...
//     sip_port=<local SIP port>  sip_register=1|0  sip_listen=<address>

#include <QString>

#include "rules/calls/sipcontrol.h"

struct DeviceSetting {
    enum Kind { Simulated, Serial, Server, Sip };
    Kind kind = Simulated;
    QString port;
    QString server;
    SipAccount sip;

    bool operator==(const DeviceSetting&) const = default;
};

// The usual port of network caller-ID servers.
constexpr quint16 kDefaultServerPort = 3333;

// set/device.dat in the program folder.
QString deviceSettingFile();

// The setting in the file; a missing or unreadable file, or unknown values,
// give the simulated device.
DeviceSetting readDeviceSetting(const QString& path);

// Writes the setting (to a temporary file renamed into place).  Throws
// FileError when it cannot be written.
void writeDeviceSetting(const QString& path, const DeviceSetting& setting);

// "host", "host:port" or "[v6 address]:port"; false for an empty host or a
// port that is not 1..65535.
bool splitServerAddress(const QString& text, QString* host, quint16* port);
