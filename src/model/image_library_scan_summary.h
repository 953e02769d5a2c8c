// The result of a scan: counts and one failure per file that could not be indexed. A scan never
// stops for one bad file; each becomes an ImageLibraryScanFailure whose kind is derived from its
// message, by the same rule whether the failure was just produced or read back from the library.
//
// Thread safety: plain values and pure functions; a value may be copied to and read on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/image_record.h"
#include "model/raw_value.h"

namespace lorvex {

struct ImageLibraryScanFailure {
  enum class Kind { permission, missing, metadata, general };

  std::string path;
  std::string message;
  Kind kind = Kind::general;

  // The kind of a failure message: the lower-cased message is searched for permission words
  // first, then missing-file words, then decoding and parsing words; anything else is general.
  // So "permission denied: a.png" is a permission failure and "missing metadata" a missing one.
  static Kind classify(std::string_view message);

  // A failure whose kind is classified from its message.
  static ImageLibraryScanFailure classified(std::string path, std::string message);

  // What the message says that a person can act on and that needs no translation, as the scan
  // writes it after the error's text: the system's name of the error ("EACCES" from "Unable to
  // open file: Permission denied (EACCES)"), or the PNG reader's failure with the chunk it broke
  // in ("invalidChunk iTXt" from "invalidChunk (iTXt)"). Empty for a message without either (as
  // the ones stored before the name was written).
  static std::string detail(std::string_view message);

  // Whether the message is the scan's for a folder it could not read ("Unable to read folder:
  // Permission denied (EACCES)"): the failure is the folder's, not a file's.
  static bool concernsFolder(std::string_view message);

  // Whether the message says the path names something other than a regular file now: a folder, a
  // pipe or a device ("The item is not a regular file"), or a socket, which the system refuses to
  // open ("Unable to open file: No such device or address (ENXIO)").
  static bool concernsNonRegularFile(std::string_view message);

  friend bool operator==(const ImageLibraryScanFailure&, const ImageLibraryScanFailure&) = default;
};

template <>
struct RawValueTable<ImageLibraryScanFailure::Kind> {
  using Raw = std::string_view;
  using K = ImageLibraryScanFailure::Kind;
  static constexpr std::array<std::pair<K, Raw>, 4> entries{{
      {K::permission, "permission"},
      {K::missing, "missing"},
      {K::metadata, "metadata"},
      {K::general, "general"},
  }};
};

// A record the scan found again under another path (the file or its folder moved or renamed): the
// record at `toPath` took over the one at `fromPath`, with its review state.
struct RecordRelocation {
  std::string fromPath;
  std::string toPath;

  friend bool operator==(const RecordRelocation&, const RecordRelocation&) = default;
};

// Where the records of a scan's relocations went, looked up by their old paths. A record several
// files took over is followed to the first of them. Views into `relocations`, which must outlive it.
class RelocatedPaths {
 public:
  explicit RelocatedPaths(const std::vector<RecordRelocation>& relocations) {
    for (const RecordRelocation& relocation : relocations)
      movedTo_.try_emplace(relocation.fromPath, relocation.toPath);
  }

  // The path the record at `path` moved to; nothing when it did not move.
  std::optional<std::string_view> destination(std::string_view path) const {
    const auto found = movedTo_.find(path);
    if (found == movedTo_.end()) return std::nullopt;
    return found->second;
  }

 private:
  std::unordered_map<std::string_view, std::string_view> movedTo_;
};

struct ImageLibraryScanSummary {
  std::int64_t scannedFileCount = 0;   // files queued for the job
  std::int64_t indexedImageCount = 0;  // files the job indexed
  std::int64_t failedFileCount = 0;    // entries in `failures`
  std::vector<ImageLibraryScanFailure> failures;
  // In the order the scan wrote them. Only the scan that made them reports them: the library does
  // not keep them with its job.
  std::vector<RecordRelocation> relocations = {};
  // Files found to hold other content than the library read although their size and time are
  // unchanged (two such files swapped names): a thumbnail cached for them under that size and time
  // shows the content that was there before.
  std::vector<ImageFileInfo> outdatedThumbnails = {};

  friend bool operator==(const ImageLibraryScanSummary&, const ImageLibraryScanSummary&) = default;
};

}  // namespace lorvex
