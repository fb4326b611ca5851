// The program's digits function as a loadable SQLite extension, so that
// the sqlite3 shell can store customers through the same triggers as the
// program (bench_import's bare `.import`):  .load <this library>
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

#include <QByteArray>

#include "rules/calls/callrules.h"

namespace {

void digitsFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    if (sqlite3_value_type(args[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    const QByteArray digits = numberDigitsUtf8(text, size);
    sqlite3_result_text(context, digits.constData(), int(digits.size()), SQLITE_TRANSIENT);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int sqlite3_extension_init(sqlite3* db, char**,
                                                                             const sqlite3_api_routines* api)
{
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_function_v2(db, numberDigitsFunction, 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                      nullptr, digitsFunction, nullptr, nullptr, nullptr);
}
