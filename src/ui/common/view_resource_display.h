// How file paths and diagnostic texts are shown. In recording mode (launch option
// "--recording-mode", for screen recordings and screenshots) the user's home directory is shown as
// "~" wherever it appears as a whole path prefix; otherwise texts are shown as they are. One value
// is built at start-up and handed to every view that shows paths or diagnostics.
//
// Thread safety: a plain value; its functions are pure and callable from any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace lorvex::ui {

struct ViewResourceDisplay {
  static constexpr std::string_view kRecordingModeArgument = "--recording-mode";

  bool isRecordingModeEnabled = false;
  std::string homeDirectoryPath;

  // Recording mode when `arguments` hold "--recording-mode"; the home path without trailing
  // slashes.
  static ViewResourceDisplay make(std::span<const std::string> arguments, std::string_view homeDirectoryPath);

  // The text with every occurrence of the home path replaced by "~", where the occurrence ends the
  // text or is followed by "/", a white-space character or one of . , : ; ! ? ) } ] " ' 、 。 ） 」 』 】
  // (so "/home/ann2/x" keeps its "/home/ann"). Unchanged outside recording mode or with an empty
  // home path. The home path is matched byte for byte, never as a pattern.
  std::string displayText(std::string_view text) const;

  friend bool operator==(const ViewResourceDisplay&, const ViewResourceDisplay&) = default;
};

// The home directory of the user running the process: the password database's entry for the real
// user id, else $HOME, else "/".
std::string resolveHomeDirectoryPath();

// Removes trailing "/" while at least 2 characters remain: "/a///" is "/a", "/" stays "/".
std::string trimmingTrailingSlashes(std::string_view path);

}  // namespace lorvex::ui
