#include "model/image_library_scan_summary.h"

#include <algorithm>
#include <span>

#include "model/text/unicode.h"

namespace lorvex {

namespace {

constexpr std::string_view kPermissionWords[] = {"operation not permitted", "permission", "access denied",
                                                 "not permitted",           "アクセス",   "許可"};
constexpr std::string_view kMissingWords[] = {"no such file", "not found", "does not exist", "missing",
                                              "見つかりません"};
constexpr std::string_view kMetadataWords[] = {"decode",
                                               "parse",
                                               "metadata",
                                               "png",
                                               "comment json",
                                               "invalidsignature",
                                               "invalid signature",
                                               "invalidchunk",
                                               "invalid chunk",
                                               "corrupt",
                                               "unsupported",
                                               "malformed",
                                               "メタデータ"};

struct KindWords {
  ImageLibraryScanFailure::Kind kind;
  std::span<const std::string_view> words;
};

// Tested in this order, so a message naming both a permission and a missing file is a permission
// failure. The Japanese words match the program's own user messages.
constexpr KindWords kKindWords[] = {
    {ImageLibraryScanFailure::Kind::permission, kPermissionWords},
    {ImageLibraryScanFailure::Kind::missing, kMissingWords},
    {ImageLibraryScanFailure::Kind::metadata, kMetadataWords},
};

}  // namespace

ImageLibraryScanFailure::Kind ImageLibraryScanFailure::classify(std::string_view message) {
  const std::string lowered = text::lowercased(message);
  for (const KindWords& group : kKindWords) {
    for (std::string_view word : group.words) {
      if (lowered.find(word) != std::string::npos) return group.kind;
    }
  }
  return Kind::general;
}

ImageLibraryScanFailure ImageLibraryScanFailure::classified(std::string path, std::string message) {
  const Kind kind = classify(message);
  return {std::move(path), std::move(message), kind};
}

std::string ImageLibraryScanFailure::detail(std::string_view message) {
  std::string_view text = message;
  std::string_view code;
  if (const std::size_t open = message.rfind(" (");
      open != std::string_view::npos && message.ends_with(')')) {
    text = message.substr(0, open);
    code = message.substr(open + 2, message.size() - open - 3);
  }
  const auto isUpperOrDigit = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (text == "invalidSignature" || text == "invalidChunk") {
    const bool namesChunk = code.size() == 4 && std::all_of(code.begin(), code.end(), isLetter);
    return namesChunk ? std::string(text) + " " + std::string(code) : std::string(text);
  }
  const bool namesError =
      code.size() >= 2 && code.front() == 'E' && std::all_of(code.begin(), code.end(), isUpperOrDigit);
  return namesError ? std::string(code) : std::string();
}

bool ImageLibraryScanFailure::concernsFolder(std::string_view message) {
  // The folder walk's own words (png_file_discovery.cpp), followed by the system's reason.
  return message.starts_with("Unable to read folder: ");
}

bool ImageLibraryScanFailure::concernsNonRegularFile(std::string_view message) {
  // The words of the check that a file to index is a regular one (platform/regular_file.h).
  return message.starts_with("The item is not a regular file") || detail(message) == "ENXIO";
}

}  // namespace lorvex
