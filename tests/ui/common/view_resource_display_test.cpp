// The home-directory display of paths and diagnostics, and which pointer events reveal controls.
#include "ui/common/view_resource_display.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/common/mouse_activity.h"

namespace lorvex::ui {
namespace {

TEST(ViewResourceDisplayTest, ShowsTheHomeFolderAsTildeOnlyWhereItEndsAsAWholeFolder) {
  const std::string home = "/home/ann";
  const struct {
    const char* name;
    bool recording;
    std::string homePath;
    std::string text;
    std::string shown;
  } rows[] = {
      {"recording off", false, home, "/home/ann/Pictures", "/home/ann/Pictures"},
      {"empty home path", true, "", "/home/ann/Pictures", "/home/ann/Pictures"},
      {"folder below home", true, home, "/home/ann/Pictures", "~/Pictures"},
      {"home alone", true, home, "/home/ann", "~"},
      {"home at the end", true, home, "Library at /home/ann", "Library at ~"},
      {"in parentheses", true, home, "(/home/ann)", "(~)"},
      {"longer folder name", true, home, "/home/ann2/x", "/home/ann2/x"},
      {"every occurrence", true, home, "/home/ann/a, /home/ann/b", "~/a, ~/b"},
      {"followed by a space", true, home, "/home/ann is full", "~ is full"},
      {"followed by a tab", true, home, "/home/ann\tx", "~\tx"},
      {"followed by a no-break space", true, home, "/home/ann\u00a0x", "~\u00a0x"},
      {"followed by a letter", true, home, "/home/annex", "/home/annex"},
      {"quoted", true, home, "\"/home/ann\" and '/home/ann'", "\"~\" and '~'"},
      {"ascii punctuation", true, home,
       "/home/ann. /home/ann: /home/ann; /home/ann! /home/ann? [/home/ann] {/home/ann}",
       "~. ~: ~; ~! ~? [~] {~}"},
      {"full-width full stop", true, home, "/home/ann。", "~。"},
      {"full-width closers", true, home, "「/home/ann」『/home/ann』【/home/ann】（/home/ann）/home/ann、",
       "「~」『~』【~】（~）~、"},
      {"other full-width character", true, home, "/home/annー", "/home/annー"},
      {"dot in the home path is literal", true, "/home/a.b", "/home/axb/x /home/a.b/x", "/home/axb/x ~/x"},
      {"pattern characters are literal", true, "/home/a+(b)[c]", "/home/a+(b)[c]/x /home/aa(b)c/x",
       "~/x /home/aa(b)c/x"},
      {"matches do not overlap", true, "/a/a", "/a/a/a/x", "~/a/x"},
      {"a failed candidate overlapping a match", true, "aa", "aaa.", "a~."},
      {"an earlier failed candidate", true, "/a/a", "/a/a/ab /a/a", "~/ab ~"},
      {"text without home", true, home, "/srv/data", "/srv/data"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ViewResourceDisplay display{row.recording, row.homePath};
    EXPECT_EQ(display.displayText(row.text), row.shown);
  }
}

TEST(ViewResourceDisplayTest, IsBuiltFromTheArgumentsAndTheTrimmedHomePath) {
  const struct {
    std::vector<std::string> arguments;
    std::string home;
    ViewResourceDisplay expected;
  } rows[] = {
      {{"lorvex"}, "/home/ann", {false, "/home/ann"}},
      {{"lorvex", "--recording-mode"}, "/home/ann/", {true, "/home/ann"}},
      {{"lorvex", "--recording-mode=1", "recording-mode"}, "/home/ann", {false, "/home/ann"}},
      {{}, "/", {false, "/"}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ViewResourceDisplay::make(row.arguments, row.home), row.expected);
  }
}

TEST(ViewResourceDisplayTest, TrimsTrailingSlashesButKeepsTheRoot) {
  const struct {
    std::string path;
    std::string trimmed;
  } rows[] = {
      {"/home/ann///", "/home/ann"},
      {"/home/ann", "/home/ann"},
      {"/", "/"},
      {"//", "/"},
      {"", ""},
      {"a/", "a"},
  };
  for (const auto& row : rows) EXPECT_EQ(trimmingTrailingSlashes(row.path), row.trimmed) << row.path;
}

TEST(MouseActivityTest, EnteringAndMovingCountButLeavingAndClicksDoNot) {
  const struct {
    QEvent::Type type;
    bool activity;
  } rows[] = {
      {QEvent::Enter, true},
      {QEvent::HoverEnter, true},
      {QEvent::MouseMove, true},
      {QEvent::HoverMove, true},
      {QEvent::Leave, false},
      {QEvent::HoverLeave, false},
      {QEvent::MouseButtonPress, false},
      {QEvent::MouseButtonRelease, false},
      {QEvent::MouseButtonDblClick, false},
      {QEvent::Wheel, false},
      {QEvent::KeyPress, false},
  };
  for (const auto& row : rows) EXPECT_EQ(isMouseActivity(row.type), row.activity) << row.type;
}

}  // namespace
}  // namespace lorvex::ui
