// The last file-system event id seen for each registered folder, so that watching can resume
// where it stopped. Ids are stored as decimal text: SQLite integers are signed, event ids are not.
#include <algorithm>
#include <charconv>

#include "database/internal/row_mappers.h"
#include "database/internal/scan_bookkeeping.h"
#include "database/internal/sql_paths.h"

namespace lorvex {

std::optional<std::uint64_t> ScanBookkeeping::decodeStoredEventID(const std::optional<std::string>& stored) {
  if (!stored) return std::nullopt;
  std::string_view digits = *stored;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  // from_chars takes no sign and no spaces, so anything but ASCII digits stops it early.
  if (digits.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::optional<RegisteredFolderEventCheckpoint> ScanBookkeeping::lastFSEventID(
    const std::vector<std::string>& rootPaths) {
  std::vector<std::string> roots = sql::standardizedUniquePaths(rootPaths);
  if (roots.empty()) return std::nullopt;
  // Read beside the writer: the positions are written in transactions of their own, and the
  // caller (starting to watch the folders) must not wait for a scan's write transaction.
  const std::optional<std::uint64_t> oldest = reader_.performRead([&]() -> std::optional<std::uint64_t> {
    std::optional<std::uint64_t> oldest;
    for (const std::string& root : roots) {
      const auto stored =
          reader_.query("SELECT last_event_id FROM registered_folder_fsevent_states WHERE root_path = ?",
                        {root}, rows::firstText);
      const auto id = decodeStoredEventID(stored);
      // One folder without a usable checkpoint means its changes cannot be replayed.
      if (!id) return std::nullopt;
      oldest = oldest ? std::min(*oldest, *id) : *id;
    }
    return oldest;
  });
  if (!oldest) return std::nullopt;
  return RegisteredFolderEventCheckpoint{std::move(roots), *oldest};
}

void ScanBookkeeping::saveLastFSEventID(const std::vector<std::string>& rootPaths, std::uint64_t eventID) {
  const std::vector<std::string> roots = sql::standardizedUniquePaths(rootPaths);
  if (roots.empty()) return;
  const std::string decimal = std::to_string(eventID);
  auto guard = connection_.lock();
  const double now = connection_.now();
  connection_.performTransaction([&] {
    for (const std::string& root : roots) {
      connection_.execute(
          "INSERT INTO registered_folder_fsevent_states ( root_path, last_event_id, last_fallback_reason, "
          "last_fallback_at, updated_at ) VALUES (?, ?, NULL, NULL, ?) ON CONFLICT(root_path) DO UPDATE SET "
          "last_event_id = excluded.last_event_id, last_fallback_reason = NULL, last_fallback_at = NULL, "
          "updated_at = excluded.updated_at",
          {root, decimal, now});
    }
  });
}

}  // namespace lorvex
