#include "database/internal/sql_functions.h"

#include <sqlite3.h>

#include <cstring>
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

void idIn(sqlite3_context* context, int argumentCount, sqlite3_value** arguments) {
  if (argumentCount != 2 || sqlite3_value_type(arguments[0]) != SQLITE_INTEGER ||
      sqlite3_value_type(arguments[1]) != SQLITE_BLOB) {
    sqlite3_result_int(context, 0);
    return;
  }
  const sqlite3_int64 id = sqlite3_value_int64(arguments[0]);
  const auto* bytes = static_cast<const unsigned char*>(sqlite3_value_blob(arguments[1]));
  const std::size_t count =
      static_cast<std::size_t>(sqlite3_value_bytes(arguments[1])) / sizeof(std::int64_t);
  // The blob need not be aligned for 64-bit loads.
  const auto at = [bytes](std::size_t index) {
    std::int64_t value = 0;
    std::memcpy(&value, bytes + index * sizeof value, sizeof value);
    return value;
  };
  std::size_t low = 0;
  std::size_t high = bytes == nullptr ? 0 : count;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (at(middle) < id) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  sqlite3_result_int(context, bytes != nullptr && low < count && at(low) == id ? 1 : 0);
}

}  // namespace

std::vector<std::uint8_t> idSetBlob(std::span<const std::int64_t> ascendingDistinctIDs) {
  std::vector<std::uint8_t> bytes(ascendingDistinctIDs.size_bytes());
  if (!bytes.empty()) std::memcpy(bytes.data(), ascendingDistinctIDs.data(), bytes.size());
  return bytes;
}

void registerSQLFunctions(sqlite3* database) {
  const auto add = [database](const char* name, int argumentCount,
                              void (*function)(sqlite3_context*, int, sqlite3_value**)) {
    const int result = sqlite3_create_function_v2(database, name, argumentCount,
                                                  SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                                  nullptr, function, nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
      throw SQLiteImageRepositoryV3Error::openFailed(sqlite3_errmsg(database), result);
    }
  };
  add("lower", 1, &unicodeLower);
  add("lorvex_id_in", 2, &idIn);
}

}  // namespace lorvex
