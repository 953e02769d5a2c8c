// Repairing a library file that was found damaged, when the damage lies only in what the tables
// rebuild: an index, a full-text index, or pages no table uses. PRAGMA integrity_check, run on each
// table with its indexes, tells such damage from damage to a table's own rows, which no repair can
// give back (start-up then sets the file aside and builds a new library).
//
// The repair first asks SQLite to rebuild what is damaged in place (REINDEX of the table's indexes,
// the full-text table's "rebuild"). Neither can clear a page that no longer reads as a page, so
// when the check still fails, the library is copied, table by table, into a new file beside it
// (every index and full-text table built afresh from the copied rows) that is checked and then
// renamed over the damaged one. A full-text table whose own text is lost is left empty and its
// images are marked for projection again, so the next scan writes their rows anew.
//
// Thread safety: runs while nothing else has the file open (the library's open, before its own
// connections exist).
#pragma once

#include <filesystem>

#include "platform/clock.h"

namespace lorvex {

enum class LibraryRepairOutcome {
  sound,             // no damage found
  repaired,          // the damage was rebuilt; the file checks sound now
  tableDataDamaged,  // rows of a table are lost (or the repair itself failed): the file is unusable
};

LibraryRepairOutcome repairDamagedLibrary(const std::filesystem::path& databaseFile, platform::Clock& clock);

}  // namespace lorvex
