// What assistive technology is told of the results grid: a list whose children are the tiles.
// Each tile is a button named by its file name, described by its selection, favourite and
// delete-candidate state, selected when it is in the effective selection, and offers the two
// things a pointer does to it: press (select it with the keyboard modifiers held now) and show
// menu (its context menu at its centre). Both do nothing while the grid's interaction gate is
// closed. Qt's own description of a list view offers each row only its own select and toggle
// actions.
//
// A tile's description follows its path, not its row, so that rows moving under it (a page put in
// front, a record removed) do not make it name another record; it is invalid once its record is
// no longer loaded.
//
// Thread safety: GUI thread only.
#pragma once

namespace lorvex::ui {

// Makes every results grid describe itself this way; the grid calls it when it is built.
void installResultsGridAccessibility();

}  // namespace lorvex::ui
