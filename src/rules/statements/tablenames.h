#pragma once
// The names of the program's tables, as the database files and the server
// hold them (they are the office's own and cannot change).

#include <QString>

namespace tables {

inline QString customers() { return QStringLiteral("客户数据"); }
inline QString calls() { return QStringLiteral("来电数据"); }
inline QString dictionary() { return QStringLiteral("字典"); }

}  // namespace tables
