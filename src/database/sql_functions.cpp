#include "database/sql_functions.h"

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "database/sqlite_image_repository_error.h"
#include "model/text/unicode.h"

namespace lorvex {
namespace {

void unicodeLower(sqlite3_context* context, int argumentCount, sqlite3_value** arguments) {
  if (argumentCount != 1 || sqlite3_value_type(arguments[0]) == SQLITE_NULL) {
    sqlite3_result_null(context);
    return;
  }
  const auto* bytes = sqlite3_value_text(arguments[0]);
  const int length = sqlite3_value_bytes(arguments[0]);
  if (bytes == nullptr) {
    sqlite3_result_error_nomem(context);
    return;
  }
  const std::string_view text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
  std::string result;
  if (text::isValidUTF8(text)) {
    result = text::lowercased(text);
  } else {
    result.assign(text);
    for (char& byte : result) {
      if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
    }
  }
  sqlite3_result_text64(context, result.data(), result.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

}  // namespace

void registerSQLFunctions(sqlite3* database) {
  const int result =
      sqlite3_create_function_v2(database, "lower", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                 nullptr, &unicodeLower, nullptr, nullptr, nullptr);
  if (result != SQLITE_OK) {
    throw SQLiteImageRepositoryV3Error::openFailed(sqlite3_errmsg(database), result);
  }
}

}  // namespace lorvex
