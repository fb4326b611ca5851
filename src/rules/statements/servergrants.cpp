#include "rules/statements/servergrants.h"

#include <QRegularExpression>

#include "rules/statements/statementtext.h"

QString serverGrants(const QString& role, QString* error)
{
    // A login's name as psql and the server take it; nothing that could end
    // the quoted text or the block below.
    static const QRegularExpression plain(QStringLiteral("^[\\p{L}\\p{N}_.@-]{1,63}$"));
    if (!plain.match(role).hasMatch()) {
        *error = QStringLiteral("“") + role +
                 QStringLiteral("”不能作为登录服务器的用户名：只用字母、数字、下划线、点、@ 和 -，最多 63 个字符。");
        return QString();
    }
    const QString name = QLatin1Char('\'') + quotedValue(role) + QLatin1Char('\'');
    return QStringLiteral(
               "-- Tavrin来电显示：前台登录 %1 在本程序数据库中的权限。\n"
               "-- 读写客户数据、来电数据和字典（可以删除单条记录）；不能建表、改表、清空、恢复、上传或压缩（这些由数据库的所有者做）。\n"
               "-- 由数据库的所有者在本程序的数据库里执行，例如：\n"
               "--   tavrin --server-grants %1 | psql -d 数据库名 -U 所有者\n"
               "do $grants$\n"
               "declare desk text := %2;\n"
               "begin\n"
               "  execute format('grant connect on database %I to %I', current_database(), desk);\n"
               "  execute format('grant usage on schema %I to %I', current_schema(), desk);\n"
               "  execute format('grant select on all tables in schema %I to %I', current_schema(), desk);\n"
               "  execute format('grant select on all sequences in schema %I to %I', current_schema(), desk);\n"
               "  execute format('grant insert, update, delete on 客户数据, 字典, 来电数据 to %I', desk);\n"
               "  -- 所有者以后重建的号码索引表也可以读。\n"
               "  execute format('alter default privileges in schema %I grant select on tables to %I', current_schema(), desk);\n"
               "  execute format('alter default privileges in schema %I grant select on sequences to %I', current_schema(), desk);\n"
               "end\n"
               "$grants$;\n")
        .replace(QStringLiteral("%1"), role)
        .replace(QStringLiteral("%2"), name);
}

