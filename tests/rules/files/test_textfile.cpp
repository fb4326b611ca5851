// The settings files' character set: GB18030, which is GBK for every GBK
// character and holds every other character too.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "rules/files/textfile.h"

namespace {

// Every character GBK holds: ASCII, the euro sign's single byte and every
// two-byte code, each as GBK reads it.
QString everyGbkCharacter()
{
    QByteArray bytes;
    for (int c = 0x20; c < 0x7F; ++c)
        bytes += char(c);
    bytes += '\x80';
    QString text = fromGbk(bytes);
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F)
                continue;
            QByteArray pair(2, '\0');
            pair[0] = char(lead);
            pair[1] = char(trail);
            const QString one = fromGbk(pair);
            if (one.size() == 1 && one != QChar(0xFFFD))
                text += one;
        }
    return text;
}

}  // namespace

class TestTextFile : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

    QString path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    QByteArray raw(const char* name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
    }

private slots:
    void charactersOutsideGbkSurviveASave()
    {
        const QStringList lines{QStringLiteral("䶮"), QStringLiteral("客户😀"), QStringLiteral("𠀀a€"),
                                QStringLiteral("\uFFFD"), QStringLiteral("\uFDD0s")};
        writeTextLines(path("wide.txt"), lines);
        QCOMPARE(readTextLines(path("wide.txt")), lines);
        // GB18030's own sequences: 䶮 has two bytes there, the emoji four.
        QCOMPARE(raw("wide.txt").left(4), QByteArray("\xFE\x9F\r\n"));
        QCOMPARE(toGb18030(QStringLiteral("😀")), QByteArray("\x94\x39\xFC\x36"));
        QCOMPARE(fromGb18030(QByteArray("\x94\x39\xFC\x36")), QStringLiteral("😀"));
    }

    void everyGbkCharacterKeepsItsBytes()
    {
        const QString all = everyGbkCharacter();
        QVERIFY(all.size() > 21000);
        const QByteArray gbk = toGbk(all);
        QCOMPARE(fromGbk(gbk), all);
        QCOMPARE(toGb18030(all), gbk);
        QCOMPARE(fromGb18030(gbk), all);
        // A file written before, in GBK, reads the same; writing it again
        // gives the same bytes.
        QFile f(path("old.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(gbk + "\r\n");
        f.close();
        QCOMPARE(readTextLines(path("old.txt")), QStringList{all});
        writeTextLines(path("again.txt"), {all});
        QCOMPARE(raw("again.txt"), gbk + "\r\n");
        // The euro sign keeps GBK's single byte rather than GB18030's pair,
        // and GB18030's pair reads as the euro sign too.
        QCOMPARE(toGb18030(QStringLiteral("€")), QByteArray("\x80"));
        QCOMPARE(fromGb18030(QByteArray("\xA2\xE3")), QStringLiteral("€"));
    }

    void brokenBytesAreMarkedAndReadOn()
    {
        QCOMPARE(fromGb18030(QByteArray("a\xFF" "b")), QStringLiteral("a\uFFFDb"));
        QCOMPARE(fromGb18030(QByteArray("a\xD6")), QStringLiteral("a\uFFFD"));
        // A four-byte sequence cut short, then text.
        QCOMPARE(fromGb18030(QByteArray("\x94\x39" "ab")), QStringLiteral("\uFFFD9ab"));
        QCOMPARE(fromGb18030(QByteArray("\x94\x39\xFC")), QStringLiteral("\uFFFD9\uFFFD"));
    }
};

QTEST_GUILESS_MAIN(TestTextFile)
#include "test_textfile.moc"
