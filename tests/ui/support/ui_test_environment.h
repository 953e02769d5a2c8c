// A home of the process's own: HOME and the XDG folders point into one temporary folder, made on
// the first call and removed when the process ends, so that neither a test nor a tool ever reads
// or writes the user's settings, library or caches. Also selects Qt's offscreen platform, on a
// 1920x1080 screen, unless the caller chose one.
//
// Call before the Q(Gui)Application is made (Qt reads the platform and paths when it starts).
// Thread safety: the first call must happen before other threads read the environment.
#pragma once

#include <filesystem>

namespace lorvex::ui::testing {

// The temporary home; the same folder on every call.
const std::filesystem::path& isolateHomeForProcess();

// Points HOME and the XDG folders at `home` (made as needed) from now on: for a test that needs
// several homes in one process, each inside the process's own.
void pointHomeAt(const std::filesystem::path& home);

}  // namespace lorvex::ui::testing
