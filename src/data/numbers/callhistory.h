#pragma once
// A caller's earlier calls, newest first, from 来电数据: the panel beside a
// call lists them with what was noted then (事项, 答复) and counts them
// ("第 N 次来电").  A call row holds the number in 手机 or 电话 as it was
// logged; a number is matched as logged and as its digits, so that a
// number typed with separators finds the calls the device reported.  The
// two columns have indexes of their own, made when the database opens.

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

struct EarlierCall {
    qint64 id = 0;
    QString date;    // 日期
    QString time;    // 时间
    QString matter;  // 事项
    QString reply;   // 答复
};

struct CallHistory {
    QList<EarlierCall> calls;  // newest first, at most the limit asked
    qint64 count = 0;          // all the earlier calls, also past the limit
};

// Makes the indexes on 来电数据's 手机 and 电话 when they are missing.
// Throws DbError when they cannot be made.
void ensureCallHistoryIndexes(QSqlDatabase db);

// The spellings a number is looked for in: as given and as digits (empty
// numbers left out, each once).
QStringList historySpellings(const QStringList& numbers);

// The calls from any of `numbers` logged before the call `beforeId` (all
// calls when 0), newest first.  Throws DbError when they cannot be read.
CallHistory earlierCalls(QSqlDatabase db, const QStringList& numbers, qint64 beforeId, int limit = 100);

// "第 N 次来电" for a call with `earlier` calls before it.
QString callOrdinalText(qint64 earlier);
