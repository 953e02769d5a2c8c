// Identifiers (objectName) by which UI automation finds controls. Most are fixed; a control that
// repeats once per item (a saved filter tag, a registered folder, a result tile) carries a fixed
// prefix and a stable hash of the item, so its identifier is the same in every launch, made of
// the prefix and hexadecimal digits only, and bounded in length however long the item's text.
//
// Thread safety: constants and pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lorvex::ui {

// The first 16 bytes of the SHA-256 digest of the text's UTF-8 bytes, as 32 lowercase hex digits.
std::string stableIdentifierHash(std::string_view text);

// "result.tile." + file name + "." + stableIdentifierHash(path), at most 128 characters: the file
// name (the last path component) is cut to its first 83 characters (user-perceived characters,
// never inside one), so a long name loses its tail and never the hash.
std::string resultTileAccessibilityIdentifier(std::string_view path);

namespace accessibility_id {

inline constexpr std::size_t kResultTileMaximumLength = 128;

inline constexpr std::string_view kSidebarLibraryAddFolder = "sidebar.library.addFolder";
inline constexpr std::string_view kSidebarFilterFavoriteOnly = "sidebar.filter.favoriteOnly";
inline constexpr std::string_view kSidebarFilterDeleteCandidatesOnly = "sidebar.filter.deleteCandidatesOnly";
inline constexpr std::string_view kSidebarFilterAddTag = "sidebar.filter.addTag";
inline constexpr std::string_view kSidebarFilterModel = "sidebar.filter.model";
inline constexpr std::string_view kTagPopoverSearchField = "tagPopover.searchField";
inline constexpr std::string_view kTagPopoverCustomTagField = "tagPopover.customTagField";
inline constexpr std::string_view kTagPopoverAddCustomTag = "tagPopover.addCustomTag";
inline constexpr std::string_view kTagPopoverDone = "tagPopover.done";
inline constexpr std::string_view kModelPopoverSearchField = "modelPopover.searchField";
inline constexpr std::string_view kSidebarLibrarySectionToggle = "sidebar.library.sectionToggle";
inline constexpr std::string_view kSidebarLibraryActions = "sidebar.library.actions";

// Prefixes; the suffix rule is named beside each.
inline constexpr std::string_view kSidebarFilterAspectPrefix =
    "sidebar.filter.aspect.";  // + aspect raw value
inline constexpr std::string_view kSidebarFilterSavedTagPrefix = "sidebar.filter.savedTag.";  // + hash of tag
inline constexpr std::string_view kSidebarLibraryFolderActionsPrefix =
    "sidebar.library.folderActions.";  // + hash of folder path
inline constexpr std::string_view kResultTilePrefix =
    "result.tile.";  // see resultTileAccessibilityIdentifier

// The identifier of a saved filter tag row, and of a registered folder row's actions menu.
std::string savedFilterTagIdentifier(std::string_view tag);
std::string registeredFolderActionsIdentifier(std::string_view folderPath);

}  // namespace accessibility_id
}  // namespace lorvex::ui
