// The layout of the thumbnail cache folder ("Thumbnails" in the library folder): each thumbnail
// is "<64 lowercase hex>.jpg" inside the shard folder named by the first two of those characters.
// The generator writes this layout and the sweep recognises it; nothing else in the folder is
// ever touched.
//
// Thread safety: pure functions.
#pragma once

#include <string>
#include <string_view>

namespace lorvex {

inline constexpr std::string_view kThumbnailFileExtension = ".jpg";

// Two characters, each "0"-"9" or "a"-"f".
bool isThumbnailShardName(std::string_view name);

// "<64 lowercase hex>.jpg" whose first two characters are `shard`.
bool isThumbnailFileName(std::string_view name, std::string_view shard);

// ".<64 lowercase hex>.jpg.tmp-XXXXXX" (six letters or digits) whose hash starts with `shard`:
// the temporary file a thumbnail is written to before it is renamed into place. One left behind
// by a write that was killed midway is never renamed and may be removed once old.
bool isThumbnailTemporaryFileName(std::string_view name, std::string_view shard);

// "<cacheDirectory>/<first two of hash>/<hash>.jpg".
std::string thumbnailFilePath(std::string_view cacheDirectory, std::string_view hash);

}  // namespace lorvex
