#pragma once
// The benchmark database: 100,000 customers and 1,000,000 calls in the
// program's tables, built once and reused by every benchmark.

#include <QString>

namespace bench {

// Default place of the database.
QString defaultDatabase();

// Builds the database at `file` unless it exists: 100,000 customers and
// 1,000,000 calls, or the given numbers.
void ensureDatabase(const QString& file);
void ensureDatabase(const QString& file, int customers, int calls);

// Customer number i as the builder stores it (i from 0 to 99,999).
QString customerMobile(int i);    // 手机
QString customerTelephone(int i); // 电话

}  // namespace bench
