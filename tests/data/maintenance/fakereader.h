#pragma once
// A table reader over tables held in memory, standing in for an Access file.

#include <QDate>
#include <QDateTime>
#include <QMap>

#include "rules/formats/tablereader.h"

struct FakeTable {
    QStringList columns;
    QList<QVariantList> rows;
};

class FakeReader : public TableReader {
public:
    QMap<QString, FakeTable> tables;
    int failAfterRows = -1;  // readRows fails after handing out this many rows
    QString error_;

    QStringList tableNames() override { return tables.keys(); }
    QStringList columnNames(const QString& t) override { return tables.value(t).columns; }
    qint64 rowCount(const QString& t) override { return tables.value(t).rows.size(); }
    bool readRows(const QString& t, const std::function<bool(const QVariantList&)>& row) override
    {
        int n = 0;
        for (const QVariantList& r : tables.value(t).rows) {
            if (n++ == failAfterRows) {
                error_ = QStringLiteral("读到一半出错");
                return false;
            }
            if (!row(r))
                break;
        }
        return true;
    }
    QString error() const override { return error_; }

    // The three tables of the old program with a few rows each.
    static FakeReader oldDatabase()
    {
        FakeReader r;
        r.tables[QStringLiteral("客户数据")] = {
            {QStringLiteral("ID"), QStringLiteral("联系人"), QStringLiteral("QQ"),
             QStringLiteral("备注")},
            {{7, QStringLiteral("张三's \"店\""), 123456.0, QStringLiteral("老客户")},
             {12, QStringLiteral("李四"), QVariant(), QVariant()}}};
        r.tables[QStringLiteral("来电数据")] = {
            {QStringLiteral("ID"), QStringLiteral("手机"), QStringLiteral("日期"),
             QStringLiteral("时间")},
            {{3, QStringLiteral("13900000001"), QDateTime(QDate(2009, 4, 7), QTime(0, 0)),
              QDateTime(QDate(1899, 12, 30), QTime(8, 5, 3))},
             {4, QStringLiteral("13900000002"), QStringLiteral("2009-04-27"),
              QStringLiteral("18:00")}}};
        r.tables[QStringLiteral("字典")] = {
            {QStringLiteral("ID"), QStringLiteral("项目"), QStringLiteral("内容")},
            {{1, QStringLiteral("部门"), QStringLiteral("销售部")}}};
        return r;
    }
};
