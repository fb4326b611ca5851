#pragma once
// The calls 来电数据 does not hold: the desk's outgoing calls (去电数据) and
// the marks of incoming calls nobody answered (未接来电).  Tables of their
// own, made when first written, so that 来电数据, the layouts of its grid and
// desks of earlier versions sharing the database stay as they are, and an
// outgoing call can never count as a caller's earlier call.
//
// Both tables: 电话号码, 日期 ("yyyy-M-d" like 来电数据), 时间 ("H:mm:ss"),
// 时刻 ("yyyy-MM-dd HH:mm:ss.zzz", for the order).  去电数据 adds 联系人 and
// 公司名称; 未接来电 adds 名称 (the name the line sent) and 已看 (0 until
// the list of missed calls was looked at).

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVector>

extern const QString outgoingCallsTable;  // 去电数据
extern const QString missedCallsTable;    // 未接来电

struct OutgoingCall {
    QString number;
    QDateTime when;
    QString contact;  // 联系人 of the card or call it was dialled from
    QString company;  // 公司名称
};

struct MissedCall {
    QString number;
    QDateTime when;
    QString name;  // the name the line sent
    bool seen = false;
};

// Per day: the incoming calls of 来电数据, those of them marked missed, and
// the outgoing calls.
struct CallKinds {
    qint64 incoming = 0;
    qint64 missed = 0;
    qint64 outgoing = 0;
    qint64 answered() const { return qMax<qint64>(0, incoming - missed); }
};

// Each throws DbError when a statement fails.  Reading a table that was
// never made gives nothing.
void logOutgoingCall(QSqlDatabase db, const OutgoingCall& call);
QList<OutgoingCall> outgoingCalls(QSqlDatabase db, int limit);  // newest first
void logMissedCall(QSqlDatabase db, const MissedCall& call);
QList<MissedCall> missedCalls(QSqlDatabase db, int limit);      // newest first
int unseenMissedCalls(QSqlDatabase db);
void markMissedCallsSeen(QSqlDatabase db);
// One entry per day from first to last.
QVector<CallKinds> callKindsPerDay(QSqlDatabase db, const QDate& first, const QDate& last);
