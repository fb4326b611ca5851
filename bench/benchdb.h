#pragma once
// The benchmark databases in the program's tables, built once and reused by
// every benchmark.

#include <QString>

namespace bench {

// Default place of the database (100,000 customers, 1,000,000 calls) and of
// the large one (1,000,000 customers, 10,000,000 calls).
QString defaultDatabase();
QString largeDatabase();

// Builds the database at `file` unless it exists.
void ensureDatabase(const QString& file, int customers = 100000, int calls = 1000000);

// Customer number i as the builder stores it (i from 0 to customers - 1).
QString customerMobile(int i);    // 手机
QString customerTelephone(int i); // 电话

}  // namespace bench
