#include "rules/files/textfile.h"
#include "rules/calls/cidlines.h"
#include "rules/calls/devicesetting.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace cid;

class TestCidLines : public QObject {
    Q_OBJECT
private slots:
    void splitterEndsAndBounds()
    {
        LineSplitter s(16);
        // CR LF, lone CR, lone LF, LF CR; a line split over reads; blank lines skipped.
        QCOMPARE(s.feed("RI"), QList<QByteArray>{});
        QCOMPARE(s.feed("NG\r\nNMBR=1\rNAME=x\n\nDATE=0305\n\rTI"),
                 (QList<QByteArray>{"RING", "NMBR=1", "NAME=x", "DATE=0305"}));
        QCOMPARE(s.feed("ME=0930\r\n"), QList<QByteArray>{"TIME=0930"});

        // An over-long line is dropped whole, even across reads; the next one counts.
        QCOMPARE(s.feed(QByteArray(10, 'x')), QList<QByteArray>{});
        QCOMPARE(s.feed(QByteArray(10, 'y') + "\r\nOK\r\n"), QList<QByteArray>{"OK"});
        // Exactly at the limit is kept.
        QCOMPARE(s.feed(QByteArray(16, 'z') + "\n"), QList<QByteArray>{QByteArray(16, 'z')});
        // One past it is not, however it arrives.
        QCOMPARE(s.feed(QByteArray(17, 'w') + "\n"), QList<QByteArray>{});
        QCOMPARE(s.feed(QByteArray(16, 'w')), QList<QByteArray>{});
        QCOMPARE(s.feed("w\r\nOK\n"), QList<QByteArray>{"OK"});
        // A stream that never ends a line stays bounded and yields nothing.
        for (int i = 0; i < 1000; ++i)
            QVERIFY(s.feed(QByteArray(100, 'g')).isEmpty());
        QCOMPARE(s.feed("\nRING\n"), QList<QByteArray>{"RING"});
    }

    void modemLines()
    {
        QCOMPARE(parseModemLine("RING").kind, ModemLine::Ring);
        QCOMPARE(parseModemLine("  ring ").kind, ModemLine::Ring);
        QCOMPARE(parseModemLine("OK").kind, ModemLine::Ok);
        QCOMPARE(parseModemLine("ERROR").kind, ModemLine::Error);
        QCOMPARE(parseModemLine("CONNECT").kind, ModemLine::Other);
        QCOMPARE(parseModemLine("ATZ").kind, ModemLine::Other);
        QCOMPARE(parseModemLine("= 123").kind, ModemLine::Other);
        QCOMPARE(parseModemLine("MESG = 0102").kind, ModemLine::Other);

        for (const QByteArray& l : {QByteArray("NMBR = 13812345678"), QByteArray("NMBR=13812345678"),
                                    QByteArray("nmbr  =13812345678 "),
                                    QByteArray("DDN_NMBR= 13812345678")}) {
            const ModemLine m = parseModemLine(l);
            QCOMPARE(m.kind, ModemLine::Number);
            QCOMPARE(m.value, QByteArray("13812345678"));
        }
        QCOMPARE(parseModemLine("DATE = 0305").kind, ModemLine::Date);
        QCOMPARE(parseModemLine("TIME=0930").kind, ModemLine::Time);
        const ModemLine name = parseModemLine("NAME = \xd5\xc5\xc8\xfd");  // 张三 in GBK
        QCOMPARE(name.kind, ModemLine::Name);
        QCOMPARE(cleanName(decodeText(name.value)), QStringLiteral("张三"));
        // Control bytes inside a line are removed before it is read.
        QCOMPARE(parseModemLine(QByteArray("\x10NM\0BR=5", 8)).value, QByteArray("5"));
    }

    void serverLines()
    {
        QCOMPARE(parseServerLine("200 Server: ncidd (NCID) 1.0").kind, ServerLine::Banner);
        QCOMPARE(parseServerLine("210 API: 1.0 Feature Set 1").kind, ServerLine::Banner);
        QCOMPARE(parseServerLine("2000 x").kind, ServerLine::Other);

        ServerLine l = parseServerLine(
            "CID: *DATE*12082026*TIME*0016*LINE*-*NMBR*01062345678*MESG*NONE*NAME*WANG*");
        QCOMPARE(l.kind, ServerLine::Call);
        QCOMPARE(l.number, QByteArray("01062345678"));
        QCOMPARE(l.name, QByteArray("WANG"));
        QCOMPARE(l.date, QByteArray("12082026"));
        QCOMPARE(l.time, QByteArray("0016"));
        // Another order, an empty field, a UTF-8 name.
        l = parseServerLine("CID: *NAME*李四*MESG**NMBR*139*DATE*01022026*");
        QCOMPARE(l.kind, ServerLine::Call);
        QCOMPARE(l.number, QByteArray("139"));
        QCOMPARE(cleanName(decodeText(l.name)), QStringLiteral("李四"));

        QCOMPARE(parseServerLine("CIDINFO: *LINE*POTS*RING*1*TIME*10:00:00*").kind,
                 ServerLine::Ring);
        QCOMPARE(parseServerLine("CIDINFO: *LINE*POTS*RING*0*TIME*10:00:00*").kind,
                 ServerLine::Hangup);
        QCOMPARE(parseServerLine("CIDINFO: *LINE*POTS*RING*-2*").kind, ServerLine::Hangup);
        QCOMPARE(parseServerLine("CIDINFO: *LINE*POTS*RING*-1*").kind, ServerLine::Other);
        QCOMPARE(parseServerLine("CIDINFO: *LINE*POTS*RING*x*").kind, ServerLine::Other);
        QCOMPARE(parseServerLine("HUP: *DATE*12082026*NMBR*139*").kind, ServerLine::Hangup);
        // The call log sent at connection is history, not calls.
        QCOMPARE(parseServerLine("CIDLOG: *DATE*12082026*NMBR*139*").kind, ServerLine::Other);
        QCOMPARE(parseServerLine("300 End of call log").kind, ServerLine::Other);
        QCOMPARE(parseServerLine("garbage * * *").kind, ServerLine::Other);
    }

    void numbersAndNames()
    {
        // The text as the line gives it, when it is a number at all.
        QCOMPARE(reportedNumber(" 13812345678 "), QStringLiteral("13812345678"));
        QCOMPARE(reportedNumber("+86 138*#1"), QStringLiteral("+86 138*#1"));
        QCOMPARE(reportedNumber("0571-8765\t4321\x01"), QStringLiteral("0571-8765 4321"));
        QCOMPARE(reportedNumber("\xa3\xab" "86 138"), QStringLiteral("＋86 138"));  // GBK full-width plus
        QCOMPARE(reportedNumber("P"), QString());  // private
        QCOMPARE(reportedNumber("O"), QString());  // out of area
        QCOMPARE(reportedNumber("**"), QString());
        QCOMPARE(reportedNumber("+86"), QString());  // a country code is no number
        QCOMPARE(reportedNumber(QByteArray(kMaxNumberLength, '1')), QString(kMaxNumberLength, QLatin1Char('1')));
        QCOMPARE(reportedNumber(QByteArray(kMaxNumberLength + 1, '1')), QString());

        QCOMPARE(cleanName(decodeText("\xff\xfe\x01Zhang")), QStringLiteral("Zhang"));
        QCOMPARE(cleanName(QString(200, QLatin1Char('n'))).size(), kMaxNameLength);
    }

    void callTimes()
    {
        const QDateTime now(QDate(2026, 12, 8), QTime(0, 16, 30));
        QCOMPARE(callTime(QStringLiteral("0305"), QStringLiteral("0930"), now),
                 QDateTime(QDate(2026, 3, 5), QTime(9, 30)));
        QCOMPARE(callTime(QStringLiteral("12072025"), QStringLiteral("2359"), now),
                 QDateTime(QDate(2025, 12, 7), QTime(23, 59)));
        QCOMPARE(callTime(QStringLiteral("1345"), QStringLiteral("99xx"), now), now);
        QCOMPARE(callTime(QString(), QString(), now), now);
    }

    void serverAddresses()
    {
        QString host;
        quint16 port = 0;
        QVERIFY(splitServerAddress(QStringLiteral(" 192.168.1.10 "), &host, &port));
        QCOMPARE(host, QStringLiteral("192.168.1.10"));
        QCOMPARE(port, kDefaultServerPort);
        QVERIFY(splitServerAddress(QStringLiteral("cid.local:3334"), &host, &port));
        QCOMPARE(host, QStringLiteral("cid.local"));
        QCOMPARE(port, quint16(3334));
        QVERIFY(splitServerAddress(QStringLiteral("[::1]:4000"), &host, &port));
        QCOMPARE(host, QStringLiteral("::1"));
        QCOMPARE(port, quint16(4000));
        for (const char* bad : {"", ":3333", "host:0", "host:70000", "host:x", "a b", "[::1"})
            QVERIFY2(!splitServerAddress(QString::fromLatin1(bad), &host, &port), bad);
    }

    void settingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("device.dat"));
        QCOMPARE(readDeviceSetting(path), DeviceSetting{});  // no file: simulated

        const DeviceSetting s{DeviceSetting::Serial, QStringLiteral("COM3"),
                              QStringLiteral("服务器:3333")};
        writeDeviceSetting(path, s);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("device=serial\r\nport=COM3\r\nserver=") +
                                  toGbk(QStringLiteral("服务器")) +
                                  ":3333\r\nsip_user=\r\nsip_server=\r\nsip_password=\r\nsip_port=5060\r\n"
                                  "sip_register=1\r\nsip_listen=0.0.0.0\r\n");
        QCOMPARE(readDeviceSetting(path), s);

        writeTextLines(path, {QStringLiteral("device=bogus"), QStringLiteral("port=x")});
        QCOMPARE(readDeviceSetting(path).kind, DeviceSetting::Simulated);

        // A folder that does not exist: the error is the program's, nothing half-written.
        QVERIFY_THROWS_EXCEPTION(FileError,
                                 writeDeviceSetting(dir.filePath(QStringLiteral("no/x.dat")), s));
    }
};

QTEST_GUILESS_MAIN(TestCidLines)
#include "test_cidlines.moc"
