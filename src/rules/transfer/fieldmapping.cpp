#include "rules/transfer/fieldmapping.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cmath>

namespace mapping {

QStringList standardFields(const QStringList& fieldNames, const QString& leftOut)
{
    QStringList list = fieldNames;
    for (const QString& name : {leftOut, QStringLiteral("ADODataSet7")}) {
        for (qsizetype i = 0; i < list.size(); ++i)
            if (list[i].compare(name, Qt::CaseInsensitive) == 0) {
                list.removeAt(i);
                break;
            }
    }
    return list;
}

QStringList prefilledNumbers(const QStringList& columns, const QStringList& standard)
{
    QStringList numbers;
    const qsizetype n = std::min<qsizetype>(columns.size(), kMaxRows);
    for (qsizetype i = 0; i < n; ++i) {
        QString number = QStringLiteral("0");
        for (qsizetype k = 0; k < standard.size(); ++k)
            if (standard[k].compare(columns[i], Qt::CaseInsensitive) == 0) {
                number = QString::number(k + 1);
                break;
            }
        numbers << number;
    }
    return numbers;
}

bool anyMapped(const QStringList& numbers)
{
    for (const QString& n : numbers)
        if (n != QLatin1String("0"))
            return true;
    return false;
}

int firstInvalid(const QStringList& numbers, int standardCount)
{
    for (qsizetype i = 0; i < numbers.size(); ++i) {
        const QString& n = numbers[i];
        if (n == QLatin1String("0"))
            continue;
        bool digits = !n.isEmpty() && n[0] != QLatin1Char('0');
        for (QChar c : n)
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!digits || n.toInt() > standardCount)
            return int(i);
    }
    return -1;
}

int targetOf(const QString& number)
{
    bool ok = false;
    const int n = number.toInt(&ok);
    return ok && n > 0 ? n - 1 : -1;
}

QString valueText(const QVariant& v)
{
    if (v.isNull())
        return {};
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isfinite(d) && std::fabs(d) < 9.0e15 && d == std::trunc(d))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-M-d"));
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        if (t.time() == QTime(0, 0))
            return t.date().toString(QStringLiteral("yyyy-M-d"));
        return t.toString(QStringLiteral("yyyy-M-d H:mm:ss"));
    }
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("H:mm:ss"));
    default:
        return v.toString();
    }
}

QString shownText(const QString& text)
{
    if (text.size() <= kShownChars)
        return text;
    qsizetype cut = kShownChars - 1;
    if (text[cut - 1].isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

QString noTableMessage() { return QStringLiteral("请先选择表文件！"); }

QString noMappingMessage()
{
    return QStringLiteral("导入数据项目没有填写对应号码！") + QChar(13) +
           QStringLiteral("在对应号中填入左边的数据库标准项目中的项目名称前面的序号");
}

QString invalidNumberMessage(int row, const QString& column, const QString& number, int standardCount)
{
    return QStringLiteral("导入数据项目第%1行（%2）的对应号“%3”不是数据库标准项目的序号！")
               .arg(QString::number(row + 1), shownText(column), number) +
           QChar(13) + QStringLiteral("请填入1到%1之间的序号，不导入的项目填0。").arg(standardCount);
}

QString importDoneMessage(qint64 count)
{
    return QStringLiteral("共完成") + QString::number(count) + QStringLiteral("条数据导入完成");
}

QString exportDoneMessage(qint64 count)
{
    return QStringLiteral("共完成") + QString::number(count) + QStringLiteral("条数据导出完成");
}

}  // namespace mapping
