// Which parent rows a transaction wrote for the first time. The projection clears an image's
// dependent rows (payloads, tags, the generation record's segments and parameters) before writing
// them again; a media file or generation record the transaction has just created has none, and a
// cold index was paying eight such empty deletes for every image.
//
// "First time" is judged by the row's id: SQLite gives a new row the largest id plus one, so a row
// whose id lies above the largest one at the start of the transaction is new, unless dependent rows
// naming such ids were already there (left by another program that deleted their parents with
// foreign keys off): then nothing counts as new and every delete runs. Inside the transaction the
// cascading keys keep dependents and parents together, so no new such row can appear.
//
// Thread safety: read and used inside one transaction of the caller's connection.
#pragma once

#include <cstdint>
#include <limits>

#include "database/internal/sqlite_connection.h"

namespace lorvex {

struct NewRowBounds {
  std::int64_t mediaFileID = std::numeric_limits<std::int64_t>::max();
  std::int64_t generationRecordID = std::numeric_limits<std::int64_t>::max();

  bool isNewMediaFile(std::int64_t id) const { return id > mediaFileID; }
  bool isNewGenerationRecord(std::int64_t id) const { return id > generationRecordID; }

  // The bounds as the library stands; call inside the transaction that uses them.
  static NewRowBounds read(SQLiteConnection& connection);
};

}  // namespace lorvex
