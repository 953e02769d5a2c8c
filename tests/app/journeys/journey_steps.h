// The journeys: what a new user does with Lorvex, step by step, through the real window. Each
// starts where the one before it ended (the first on a first launch, the last with a relaunch),
// so the tests and lorvex-screens run them in this order over one library.
//
//   firstLaunch  the empty window, Add Folder, the picker answered, progress, the first thumbnails
//   browse       arrows, Space and its preview, Shift and Ctrl selections, the grid's keys after
//                clicks in the header and a sort chosen, and after a choice in a tile's context menu
//   tags         the tag popover: a typed tag added with Return, a suggestion clicked, their chips;
//                the keys the tag button keeps once the popover gives it the keyboard back
//   filters      model, aspect and favourites filters, the chips row's cue clicked past its end,
//                one chip removed, Reset Filters reached
//   marks        F and D, the banner, Undo by its button and by Ctrl+Z, then the keyboard again
//   review       the Trash review sheet by mouse and keyboard, the move, the files in the Trash
//   trashRefused a move the Trash cannot take: the failure says why, in its line and its recovery
//                row; tiles cut at the review grid's edges clicked without moving it; Retry once
//                the Trash is back
//   slideshow    opened from the header, its keys, closed with Escape
//   relaunch     Ctrl+Q under a sheet, and start again: what persists is there, and no welcome
//                meanwhile; then Help > Acknowledgments
//   folderRenamed  the folder renamed and renamed back under the open window: its row, the focus and
//                monitoring follow it; a focused image beside an identical copy moved, then deleted
//   reviewFollowsRename  the Trash review open while its images' folder is renamed: it lists them at
//                their new place, and the move takes them to the Trash from there
//   reopen       the library held by another process, then let go; then an index of it damaged:
//                the launch that meets either opens the library by itself
//
// Thread safety: GUI thread only.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "journey.h"

namespace lorvex::journeys {

struct JourneyDefinition {
  std::string name;
  std::function<void(Driver&)> run;
};

const std::vector<JourneyDefinition>& allJourneys();

// The size most journeys are written for; the other is the window's minimum size.
inline constexpr QSize kStandardWindowSize{1280, 800};

}  // namespace lorvex::journeys
