#include "rules/lists/layoutfile.h"

#include <QtEndian>

#include "rules/files/textfile.h"

namespace layoutfile {

namespace {

enum Tag : quint8 {
    Null = 0x00,
    List = 0x01,
    Int8 = 0x02,
    Int16 = 0x03,
    Int32 = 0x04,
    String = 0x06,
    False = 0x08,
    True = 0x09,
    LString = 0x0C,
    Collection = 0x0E,
    WString = 0x12,
    Utf8String = 0x14,
};

const QByteArray kSignature("TPF0");
const QByteArray kClass("TColumnsWrapper");

void putName(QByteArray& out, const char* name)
{
    out.append(char(qstrlen(name)));
    out.append(name);
}

void putLength(QByteArray& out, quint32 n)
{
    char b[4];
    qToLittleEndian(n, b);
    out.append(b, 4);
}

bool isAscii(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() > 0x7F)
            return false;
    return true;
}

// A bounded reader over the file's bytes: every read checks what is left.
class Reader {
public:
    explicit Reader(const QByteArray& b) : b_(b) {}
    qsizetype left() const { return b_.size() - pos_; }
    bool atEnd() const { return pos_ >= b_.size(); }

    quint8 byte()
    {
        need(1);
        return quint8(b_[pos_++]);
    }
    QByteArray bytes(qsizetype n)
    {
        if (n < 0)
            fail(QStringLiteral("长度无效"));
        need(n);
        QByteArray r = b_.mid(pos_, n);
        pos_ += n;
        return r;
    }
    quint32 u32()
    {
        const QByteArray b = bytes(4);
        return qFromLittleEndian<quint32>(b.constData());
    }
    QByteArray shortString() { return bytes(byte()); }

    qint32 integer()
    {
        switch (byte()) {
        case Int8: return qint8(byte());
        case Int16: {
            const QByteArray b = bytes(2);
            return qFromLittleEndian<qint16>(b.constData());
        }
        case Int32: return qint32(u32());
        default: fail(QStringLiteral("应为整数值")); return 0;
        }
    }

    QString string()
    {
        switch (byte()) {
        case String: return fromGbk(shortString());
        case LString: return fromGbk(lengthChecked(u32(), 1));
        case Utf8String: return QString::fromUtf8(lengthChecked(u32(), 1));
        case WString: {
            const QByteArray b = lengthChecked(u32(), 2);
            QString s(b.size() / 2, Qt::Uninitialized);
            for (qsizetype i = 0; i < s.size(); ++i)
                s[i] = QChar(qFromLittleEndian<quint16>(b.constData() + 2 * i));
            return s;
        }
        default: fail(QStringLiteral("应为字符串值")); return {};
        }
    }

    bool boolean()
    {
        switch (byte()) {
        case False: return false;
        case True: return true;
        default: fail(QStringLiteral("应为逻辑值")); return false;
        }
    }

    quint8 peek()
    {
        need(1);
        return quint8(b_[pos_]);
    }

    [[noreturn]] void fail(const QString& why) { throw Fault{why, pos_}; }

    struct Fault {
        QString why;
        qsizetype at;
    };

private:
    void need(qsizetype n)
    {
        if (n > left())
            fail(QStringLiteral("文件不完整"));
    }
    // A length from the file is checked against the bytes that are left
    // before anything is allocated for it.
    QByteArray lengthChecked(quint32 count, int unit)
    {
        if (quint64(count) * quint64(unit) > quint64(left()))
            fail(QStringLiteral("长度超出文件"));
        return bytes(qsizetype(count) * unit);
    }

    const QByteArray& b_;
    qsizetype pos_ = 0;
};

Column readItem(Reader& r)
{
    Column c;
    while (r.peek() != Null) {
        const QByteArray name = r.shortString();
        if (name == "Expanded" || name == "Visible") {
            r.boolean();
        } else if (name == "FieldName") {
            c.fieldName = r.string();
        } else if (name == "Width") {
            c.width = r.integer();
        } else {
            r.fail(QStringLiteral("未知的属性“%1”").arg(QString::fromLatin1(name)));
        }
    }
    r.byte();  // end of the item's properties
    return c;
}

}  // namespace

QByteArray encodeInteger(qint32 v)
{
    QByteArray out;
    if (v >= -128 && v <= 127) {
        out.append(char(Int8));
        out.append(char(qint8(v)));
    } else if (v >= -32768 && v <= 32767) {
        out.append(char(Int16));
        char b[2];
        qToLittleEndian(qint16(v), b);
        out.append(b, 2);
    } else {
        out.append(char(Int32));
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    }
    return out;
}

QByteArray encodeString(const QString& text)
{
    QByteArray out;
    const QByteArray u = text.toUtf8();
    const qsizetype wideBytes = text.size() * 2;
    if (u.size() < wideBytes) {
        if (isAscii(text)) {
            if (u.size() <= 255) {
                out.append(char(String));
                out.append(char(u.size()));
            } else {
                out.append(char(LString));
                putLength(out, quint32(u.size()));
            }
        } else {
            out.append(char(Utf8String));
            putLength(out, quint32(u.size()));
        }
        out.append(u);
    } else {
        out.append(char(WString));
        putLength(out, quint32(text.size()));
        for (QChar c : text) {
            char b[2];
            qToLittleEndian(c.unicode(), b);
            out.append(b, 2);
        }
    }
    return out;
}

QByteArray write(const QVector<Column>& columns)
{
    QByteArray out = kSignature;
    out.append(char(kClass.size()));
    out.append(kClass);
    out.append(char(0));  // no object name
    putName(out, "Columns");
    out.append(char(Collection));
    for (const Column& c : columns) {
        out.append(char(List));
        putName(out, "Expanded");
        out.append(char(False));
        putName(out, "FieldName");
        out.append(encodeString(c.fieldName));
        if (c.width >= 0) {
            putName(out, "Width");
            out.append(encodeInteger(c.width));
        }
        putName(out, "Visible");
        out.append(char(True));
        out.append(char(Null));
    }
    out.append(char(Null));  // end of the collection
    out.append(char(Null));  // end of the properties
    out.append(char(Null));  // end of the child objects
    return out;
}

bool read(const QByteArray& bytes, QVector<Column>* columns, QString* error)
{
    Reader r(bytes);
    QVector<Column> cols;
    try {
        if (r.bytes(4) != kSignature)
            r.fail(QStringLiteral("不是列布局文件"));
        r.shortString();  // class name
        r.shortString();  // object name
        bool haveColumns = false;
        while (r.peek() != Null) {
            const QByteArray name = r.shortString();
            if (name != "Columns" || haveColumns)
                r.fail(QStringLiteral("未知的属性“%1”").arg(QString::fromLatin1(name)));
            haveColumns = true;
            if (r.byte() != Collection)
                r.fail(QStringLiteral("应为列的集合"));
            while (r.peek() != Null) {
                // An item is its property list and nothing else (no index
                // before it): what the writer writes is all that is read.
                if (r.byte() != List)
                    r.fail(QStringLiteral("应为列的属性表"));
                cols.append(readItem(r));
            }
            r.byte();  // end of the collection
        }
        r.byte();  // end of the properties
        if (r.byte() != Null)
            r.fail(QStringLiteral("不应有子对象"));
        if (!r.atEnd())
            r.fail(QStringLiteral("文件末尾有多余的数据"));
    } catch (const Reader::Fault& f) {
        if (error)
            *error = QStringLiteral("列布局文件已损坏（位置 %1）：%2").arg(f.at).arg(f.why);
        return false;
    }
    if (columns)
        *columns = std::move(cols);
    return true;
}

}  // namespace layoutfile

namespace gridwidths {

int fitted(const QString& valueText, const QString& fieldName, int limit)
{
    int w = 8 * int(toGbk(valueText).size());
    w = std::max(w, 8 * int(toGbk(fieldName).size()));
    w = std::min(w, limit);
    return std::max(w, 32);
}

int limit(int sidePanelWidth, int divisor)
{
    const int q = sidePanelWidth / divisor;
    const int rem = sidePanelWidth % divisor;
    // Nearest integer, halves to the even neighbour.
    if (2 * rem > divisor || (2 * rem == divisor && q % 2 != 0))
        return q + 1;
    return q;
}

}  // namespace gridwidths
