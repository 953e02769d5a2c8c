// A library file whose first page was overwritten: SQLite refuses it as "not a database" although
// every other page is as it was. Such a file is damage, not a file of another kind, and the
// person's marks are still in its pages.
//
// The first page holds the file header (the page size, the page count) and the root of the schema
// table, which names the root page of every table. Both can be made again from the rest of the file
// (the file format: https://www.sqlite.org/fileformat2.html): the page size is the one at which the
// most pages read as b-tree pages, and the schema table's rows still stand in its leaf pages, which
// a new root can point at. The rebuilt first page goes into a copy; the file itself is only read.
//
// Thread safety: plain functions over files nothing else writes meanwhile; any thread.
#pragma once

#include <filesystem>

#include "database/library_salvage.h"

namespace lorvex {

// Whether the file is a library whose first page is lost: it is not readable as a database, its
// size is a whole number of pages, and the schema table's rows stand in its other pages (or below
// its header, when only the header was overwritten). An empty file, or one of another kind, is not.
bool isLibraryWithLostHeader(const std::filesystem::path& file);

// What salvageLibrary reads from the set-aside library `file`; when its first page is lost, read
// through a copy with that page rebuilt (beside it, removed again afterwards). Never writes `file`.
LibrarySalvage salvageSetAsideLibrary(const std::filesystem::path& file);

}  // namespace lorvex
