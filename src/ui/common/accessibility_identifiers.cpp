#include "ui/common/accessibility_identifiers.h"

#include "model/text/graphemes.h"
#include "model/text/paths.h"
#include "platform/sha256.h"

namespace lorvex::ui {
namespace {

constexpr std::size_t kStableHashBytes = 16;
constexpr std::size_t kStableHashLength = 2 * kStableHashBytes;
// What is left of the 128 characters for the file name after the prefix, the "." and the hash.
constexpr std::size_t kResultTileNameBudget = accessibility_id::kResultTileMaximumLength -
                                              accessibility_id::kResultTilePrefix.size() - 1 -
                                              kStableHashLength;

// The first `count` user-perceived characters of `text` (all of it when it has fewer).
std::string_view leadingCharacters(std::string_view text, std::size_t count) {
  text::GraphemeCursor cursor(text);
  std::size_t end = 0;
  for (std::size_t taken = 0; taken < count; ++taken) {
    const std::string_view cluster = cursor.next();
    if (cluster.empty()) break;
    end = static_cast<std::size_t>(cluster.data() + cluster.size() - text.data());
  }
  return text.substr(0, end);
}

}  // namespace

std::string stableIdentifierHash(std::string_view text) {
  return platform::sha256Hex(text).substr(0, kStableHashLength);
}

std::string resultTileAccessibilityIdentifier(std::string_view path) {
  const std::string_view name = leadingCharacters(text::lastPathComponent(path), kResultTileNameBudget);
  std::string identifier(accessibility_id::kResultTilePrefix);
  identifier.append(name);
  identifier.push_back('.');
  identifier.append(stableIdentifierHash(path));
  return identifier;
}

namespace accessibility_id {

std::string savedFilterTagIdentifier(std::string_view tag) {
  return std::string(kSidebarFilterSavedTagPrefix) + stableIdentifierHash(tag);
}

std::string registeredFolderActionsIdentifier(std::string_view folderPath) {
  return std::string(kSidebarLibraryFolderActionsPrefix) + stableIdentifierHash(folderPath);
}

}  // namespace accessibility_id
}  // namespace lorvex::ui
