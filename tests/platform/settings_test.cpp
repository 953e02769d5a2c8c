#include "platform/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "platform/file_lock.h"
#include "platform/log.h"
#include "platform/long_lived_threads.h"
#include "support/temporary_folder.h"

namespace lorvex::platform {
namespace {

using lorvex::testing::TemporaryFolder;

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

nlohmann::json readJson(const std::filesystem::path& path) {
  return nlohmann::json::parse(readFile(path), nullptr, false);
}

// Replaces the file as another process's write does: a complete new file renamed over it.
void replaceFile(const std::filesystem::path& path, const std::string& text) {
  const auto temporary = path.string() + ".other";
  std::ofstream(temporary, std::ios::binary) << text;
  std::filesystem::rename(temporary, path);
}

// Silences the error lines the failure tests provoke, and keeps them for inspection.
class CapturedLog {
 public:
  CapturedLog() {
    previous_ = setLogSink(
        [this](LogLevel, std::string_view, std::string_view message) { lines.emplace_back(message); });
  }
  ~CapturedLog() { setLogSink(previous_); }
  std::vector<std::string> lines;

 private:
  LogSink previous_;
};

TEST(SettingsTest, EveryValueTypeSurvivesAReopen) {
  TemporaryFolder folder;
  const std::vector<std::pair<std::string, SettingsValue>> values = {
      {"bool", SettingsValue{false}},
      {"integer", SettingsValue{std::int64_t{-9'007'199'254'740'993}}},
      {"integerMax", SettingsValue{std::numeric_limits<std::int64_t>::max()}},
      {"real", SettingsValue{0.1}},
      {"wholeReal", SettingsValue{3.0}},
      {"string", SettingsValue{std::string("タグ \"quoted\" \\ /")}},
      {"emptyString", SettingsValue{std::string()}},
      {"data", SettingsValue{SettingsValue::Data{0, 1, 2, 0xFE, 0xFF}}},
      {"emptyData", SettingsValue{SettingsValue::Data{}}},
      {"array",
       SettingsValue{SettingsValue::Array{SettingsValue{std::string("a")}, SettingsValue{std::int64_t{2}},
                                          SettingsValue{SettingsValue::Array{SettingsValue{true}}}}}},
  };
  {
    Settings settings("suite", folder.path());
    for (const auto& [key, value] : values) settings.set(key, value);
    EXPECT_TRUE(settings.flush());
  }
  Settings reopened("suite", folder.path());  // the first object is gone: this one reads the file
  for (const auto& [key, value] : values) EXPECT_EQ(reopened.object(key), value) << key;
  EXPECT_EQ(reopened.real("wholeReal"), 3.0);
  EXPECT_FALSE(reopened.integer("wholeReal").has_value());
}

TEST(SettingsTest, TypedReadsOfOtherTypesReadAsAbsent) {
  TemporaryFolder folder;
  std::ofstream(folder.path() / "suite.json") << R"({
    "bool": true, "int": 7, "real": 2.5, "text": "x", "data": {"base64": "AAE="},
    "mixed": ["a", 1], "strings": ["a", "b"], "huge": 18446744073709551615,
    "badData": {"base64": "A"}, "object": {"a": 1}, "null": null
  })";
  Settings settings("suite", folder.path());

  EXPECT_EQ(settings.boolean("bool"), true);
  EXPECT_FALSE(settings.boolean("int"));
  EXPECT_FALSE(settings.boolean("text"));

  EXPECT_EQ(settings.integer("int"), 7);
  EXPECT_FALSE(settings.integer("bool"));
  EXPECT_FALSE(settings.integer("real"));
  EXPECT_FALSE(settings.integer("huge"));

  EXPECT_EQ(settings.real("real"), 2.5);
  EXPECT_EQ(settings.real("int"), 7.0);
  EXPECT_FALSE(settings.real("bool"));

  EXPECT_EQ(settings.string("text"), "x");
  EXPECT_FALSE(settings.string("data"));
  EXPECT_EQ(settings.data("data"), (SettingsValue::Data{0, 1}));
  EXPECT_FALSE(settings.data("text"));

  EXPECT_EQ(settings.stringArray("strings"), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(settings.stringArray("mixed"));
  EXPECT_TRUE(settings.array("mixed"));
  EXPECT_FALSE(settings.stringArray("text"));

  for (const char* key : {"badData", "object", "null", "missing"}) EXPECT_FALSE(settings.object(key)) << key;

  // Values the program cannot read are kept when it writes others.
  settings.setString("text", "y");
  ASSERT_TRUE(settings.flush());
  const std::string written = readFile(settings.filePath());
  EXPECT_NE(written.find("\"object\""), std::string::npos);
  EXPECT_NE(written.find("18446744073709551615"), std::string::npos);
}

TEST(SettingsTest, WriteReplacesTheFileAtomically) {
  TemporaryFolder folder;
  Settings settings("suite", folder.path());
  settings.setInteger("a", 1);
  ASSERT_TRUE(settings.flush());
  const auto file = settings.filePath();
  // A hard link keeps the old file: an in-place write would change it, a replacement does not.
  const auto link = folder.path() / "old-link";
  ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
  const std::string before = readFile(link);

  settings.setInteger("b", 2);
  ASSERT_TRUE(settings.flush());
  EXPECT_EQ(readFile(link), before);
  EXPECT_NE(readFile(file), before);
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat(folder.path().c_str(), &info), 0);

  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  // No temporary file left; beside the file, its last good copy and the writers' lock.
  EXPECT_EQ(names,
            (std::vector<std::string>{"old-link", "suite.json", "suite.json.lastgood", "suite.json.lock"}));
}

TEST(SettingsTest, CreatesTheMissingFolderPrivately) {
  TemporaryFolder folder;
  const auto nested = folder.path() / "config" / "Lorvex";
  Settings settings("suite", nested);
  EXPECT_FALSE(std::filesystem::exists(nested));  // opening writes nothing
  settings.setBoolean("flag", true);
  ASSERT_TRUE(settings.flush());
  struct stat info {};
  ASSERT_EQ(::stat(nested.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(SettingsTest, ConcurrentWritersInOneProcessLoseNothing) {
  TemporaryFolder folder;
  constexpr int kThreads = 8;
  constexpr int kKeys = 40;
  {
    std::vector<std::jthread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([&, t] {
        Settings settings("suite", folder.path());  // one object per thread, one shared file
        for (int k = 0; k < kKeys; ++k) {
          settings.setInteger("t" + std::to_string(t) + "k" + std::to_string(k), t * 1000 + k);
        }
      });
    }
  }
  Settings reopened("suite", folder.path());
  for (int t = 0; t < kThreads; ++t) {
    for (int k = 0; k < kKeys; ++k) {
      EXPECT_EQ(reopened.integer("t" + std::to_string(t) + "k" + std::to_string(k)), t * 1000 + k);
    }
  }
}

TEST(SettingsTest, ObjectsOfOneSuiteShareValuesAtOnce) {
  TemporaryFolder folder;
  Settings first("suite", folder.path());
  Settings second("suite", folder.path());
  Settings otherSuite("other", folder.path());
  first.setString("k", "v");
  EXPECT_EQ(second.string("k"), "v");
  EXPECT_FALSE(otherSuite.string("k"));
  second.remove("k");
  EXPECT_FALSE(first.object("k"));
}

TEST(SettingsTest, RemovingASuiteForgetsItsValuesAndFile) {
  TemporaryFolder folder;
  Settings settings("app.lorvex.UITests.run-1", folder.path());
  Settings other("app.lorvex.UITests.run-1", folder.path());
  Settings unrelated("kept", folder.path());
  settings.setString("k", "v");
  unrelated.setString("k", "v");
  EXPECT_TRUE(other.removeSuite());
  EXPECT_FALSE(settings.object("k"));
  EXPECT_FALSE(std::filesystem::exists(settings.filePath()));
  EXPECT_EQ(unrelated.string("k"), "v");
  EXPECT_TRUE(settings.removeSuite());  // already gone
}

TEST(SettingsTest, UnparsableFileIsMovedAsideNotOverwritten) {
  TemporaryFolder folder;
  CapturedLog log;
  for (const std::string& contents :
       {std::string("{not json"), std::string("[1, 2]"), std::string(100, '[')}) {
    std::ofstream(folder.path() / "suite.json") << contents;
    {
      Settings settings("suite", folder.path());
      EXPECT_FALSE(settings.object("anything"));
      settings.setInteger("a", 1);
      ASSERT_TRUE(settings.flush());
    }
    std::filesystem::remove(folder.path() / "suite.json");
  }
  EXPECT_EQ(readFile(folder.path() / "suite.json.unreadable"), "{not json");
  EXPECT_EQ(readFile(folder.path() / "suite.json.unreadable.1"), "[1, 2]");
  EXPECT_EQ(readFile(folder.path() / "suite.json.unreadable.2"), std::string(100, '['));
  EXPECT_EQ(log.lines.size(), 3u);
}

TEST(SettingsTest, FailedWriteIsReportedAndKeepsTheValueInMemory) {
  TemporaryFolder folder;
  CapturedLog log;
  const auto blocker = folder.writeFile("blocker");  // a file where a folder should be
  Settings settings("suite", std::filesystem::path(blocker) / "Lorvex");
  settings.setInteger("a", 5);
  EXPECT_FALSE(settings.flush());
  EXPECT_EQ(settings.integer("a"), 5);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("Settings not saved"), std::string::npos);
}

TEST(SettingsTest, FileThatCannotBeReadIsNeverReplaced) {
  TemporaryFolder folder;
  CapturedLog log;
  folder.makeFolder("suite.json");  // exists, but reading it fails
  Settings settings("suite", folder.path());
  settings.setInteger("a", 1);
  EXPECT_FALSE(settings.flush());
  EXPECT_EQ(settings.integer("a"), 1);
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "suite.json"));
  EXPECT_EQ(log.lines.size(), 2u);  // the failed read, then the refused write
}

TEST(SettingsTest, SpecialFileUnderTheSettingsNameNeitherHangsNorIsReplaced) {
  TemporaryFolder folder;
  CapturedLog log;
  const auto fifo = folder.path() / "suite.json";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Settings settings("suite", folder.path());  // would block for ever opening the FIFO
  settings.setInteger("a", 1);
  EXPECT_FALSE(settings.flush());
  EXPECT_EQ(settings.integer("a"), 1);
  struct stat info {};
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(SettingsTest, BadInputIsRefusedWithoutChangingAnything) {
  TemporaryFolder folder;
  for (const std::string& name : {std::string(), std::string(".hidden"), std::string("a/b"),
                                  std::string(".."), std::string("nul\0x", 5)}) {
    EXPECT_THROW(Settings(name, folder.path()), SettingsError) << name;
  }
  Settings settings("suite", folder.path());
  settings.setString("k", "kept");
  EXPECT_THROW(settings.setString("k", "\xFF\xFE"), SettingsError);
  EXPECT_THROW(settings.setString("\xC3", "v"), SettingsError);
  EXPECT_THROW(settings.setReal("k", std::nan("")), SettingsError);
  EXPECT_THROW(settings.setReal("k", INFINITY), SettingsError);
  EXPECT_EQ(settings.string("k"), "kept");
  EXPECT_FALSE(settings.object("\xC3"));
}

TEST(SettingsTest, DefaultFolderFollowsXdgConfigHome) {
  const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = savedConfig != nullptr ? savedConfig : "";
  const char* savedHome = std::getenv("HOME");
  const std::string home = savedHome != nullptr ? savedHome : "";

  ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
  EXPECT_EQ(Settings::defaultFolder(), std::filesystem::path("/tmp/xdg-config/Lorvex"));
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(Settings::defaultFolder(), std::filesystem::path("/home/someone/.config/Lorvex"));
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(Settings::defaultFolder(), std::filesystem::path("/home/someone/.config/Lorvex"));

  if (savedConfig != nullptr) ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  if (savedHome != nullptr) ::setenv("HOME", home.c_str(), 1);
}

TEST(SettingsTest, AWriteLaysOnlyItsOwnChangesOverWhatAnotherProcessWrote) {
  const std::string opened = R"({"folders": "A", "width": 360, "old": 1})";
  struct Case {
    const char* name;
    std::optional<std::string> otherProcessWrote;  // nothing: it deleted the file
    std::function<void(Settings&)> change;
    nlohmann::json expected;
  };
  const Case cases[] = {
      {"a folder registered elsewhere survives a section collapsed here",
       R"({"folders": "A+B", "width": 360, "old": 1})",
       [](Settings& s) { s.setBoolean("ui.librarySectionExpanded", false); },
       {{"folders", "A+B"}, {"width", 360}, {"old", 1}, {"ui.librarySectionExpanded", false}}},
      {"a key removed elsewhere and untouched here stays removed",
       R"({"folders": "A", "width": 360})",
       [](Settings& s) { s.setInteger("count", 2); },
       {{"folders", "A"}, {"width", 360}, {"count", 2}}},
      {"a key written by both ends with the later write",
       R"({"folders": "A", "width": 400, "old": 1})",
       [](Settings& s) { s.setInteger("width", 420); },
       {{"folders", "A"}, {"width", 420}, {"old", 1}}},
      {"a key removed here goes whatever it became elsewhere",
       R"({"folders": "A", "width": 360, "old": 2})",
       [](Settings& s) { s.remove("old"); },
       {{"folders", "A"}, {"width", 360}}},
      {"a deleted file takes only what was changed here",
       std::nullopt,
       [](Settings& s) { s.setInteger("count", 2); },
       {{"count", 2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder folder;
    const auto file = folder.path() / "suite.json";
    std::ofstream(file) << opened;
    Settings settings("suite", folder.path());  // its copy is stale from here on
    ASSERT_EQ(settings.string("folders"), "A");
    if (c.otherProcessWrote) {
      replaceFile(file, *c.otherProcessWrote);
    } else {
      std::filesystem::remove(file);
    }
    c.change(settings);
    ASSERT_TRUE(settings.flush());
    EXPECT_EQ(readJson(file), c.expected);
    // Reads here now see the other process's values too.
    for (const auto& [key, value] : c.expected.items()) {
      EXPECT_EQ(settings.object(key).has_value(), true) << key;
    }
    EXPECT_EQ(settings.object("old").has_value(), c.expected.contains("old"));
  }
}

TEST(SettingsTest, ProcessesWritingAtOnceLoseNoKey) {
  TemporaryFolder folder;
  constexpr int kProcesses = 4;
  constexpr int kKeys = 10;
  std::ofstream(folder.path() / "suite.json") << R"({"folders": "A"})";
  Settings settings("suite", folder.path());
  ASSERT_TRUE(Settings::flushAll(std::chrono::steady_clock::now() +
                                 std::chrono::hours(24)));  // nothing in flight while the children are made
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Settings own("suite", folder.path());  // the copy made before it began, as in any other process
      bool written = true;
      for (int k = 0; k < kKeys; ++k) {
        own.setInteger("p" + std::to_string(p) + "k" + std::to_string(k), k);
        written = own.flush() && written;
      }
      ::_exit(written ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (int k = 0; k < kKeys; ++k) {
    settings.setInteger("parent" + std::to_string(k), k);
    EXPECT_TRUE(settings.flush());
  }
  for (const pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  settings.setBoolean("last", true);
  ASSERT_TRUE(settings.flush());

  const nlohmann::json written = readJson(settings.filePath());
  EXPECT_EQ(written.size(), static_cast<std::size_t>(2 + (kProcesses + 1) * kKeys));
  EXPECT_EQ(written.value("folders", ""), "A");
  for (int k = 0; k < kKeys; ++k) {
    EXPECT_TRUE(written.contains("parent" + std::to_string(k)));
    for (int p = 0; p < kProcesses; ++p)
      EXPECT_TRUE(written.contains("p" + std::to_string(p) + "k" + std::to_string(k)));
  }
  // The last good copy holds the same.
  EXPECT_EQ(readJson(folder.path() / "suite.json.lastgood"), written);
}

TEST(SettingsTest, WritesLeaveTheCallerAtOnceAndLandInOrder) {
  TemporaryFolder folder;
  const auto file = folder.path() / "suite.json";
  std::ofstream(file) << R"({"kept": 1})";
  Settings settings("suite", folder.path());
  const std::string before = readFile(file);
  {
    // Another process is rewriting the file: the writer waits, the caller must not.
    std::optional<ExclusiveFileLock> otherWriter = ExclusiveFileLock::tryAcquire(file.string() + ".lock");
    ASSERT_TRUE(otherWriter);
    settings.setInteger("a", 1);
    settings.setInteger("b", 2);
    settings.setInteger("a", 3);
    settings.remove("b");
    settings.setString("c", "x");
    EXPECT_EQ(settings.integer("a"), 3);  // read at once
    EXPECT_FALSE(settings.object("b"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(readFile(file), before);
  }
  // Quitting: after flushAll the file holds the last value of every key, whoever wrote it.
  ASSERT_TRUE(Settings::flushAll(std::chrono::steady_clock::now() + std::chrono::hours(24)));
  EXPECT_EQ(readJson(file), (nlohmann::json{{"kept", 1}, {"a", 3}, {"c", "x"}}));
}

TEST(SettingsTest, AHeldWriteDoesNotHoldUpTheProgramsEnd) {
  TemporaryFolder folder;
  const auto file = folder.path() / "suite.json";
  Settings settings("suite", folder.path());
  std::optional<ExclusiveFileLock> otherWriter = ExclusiveFileLock::tryAcquire(file.string() + ".lock");
  ASSERT_TRUE(otherWriter);
  settings.setInteger("a", 1);
  // The writer cannot finish while the lock is held: the end gives up at its deadline.
  EXPECT_FALSE(endLongLivedThreads(std::chrono::steady_clock::now()));
  otherWriter.reset();
  // The write it was left with still lands, and later changes start a writer again.
  settings.setInteger("b", 2);
  EXPECT_TRUE(endLongLivedThreads(std::chrono::steady_clock::now() + std::chrono::hours(24)));
  ASSERT_TRUE(settings.flush());
  EXPECT_EQ(readJson(file), (nlohmann::json{{"a", 1}, {"b", 2}}));
}

TEST(SettingsTest, QuittingGivesUpAHeldWriteAtTheDeadline) {
  TemporaryFolder folder;
  const auto file = folder.path() / "suite.json";
  std::optional<ExclusiveFileLock> otherWriter = ExclusiveFileLock::tryAcquire(file.string() + ".lock");
  ASSERT_TRUE(otherWriter);
  {
    Settings settings("suite", folder.path());
    settings.setInteger("a", 1);
    // Another process keeps the writers' lock: the flush gives up at its deadline, and the suite's
    // last object then goes without waiting for the write.
    EXPECT_FALSE(Settings::flushAll(std::chrono::steady_clock::now()));
  }
  // The writer it was left to still holds that write, so the program's end does not pass it by.
  EXPECT_FALSE(endLongLivedThreads(std::chrono::steady_clock::now()));
  otherWriter.reset();
  EXPECT_TRUE(endLongLivedThreads(std::chrono::steady_clock::now() + std::chrono::hours(24)));
  EXPECT_EQ(readJson(file), (nlohmann::json{{"a", 1}}));
}

TEST(SettingsTest, ADamagedFileGivesWayToItsLastGoodCopy) {
  const std::string good = R"({"securityScopedFolderBookmarks": {"base64": "AAE="}, "width": 400})";
  const std::string truncated = good.substr(0, 30);
  struct Case {
    const char* name;
    std::optional<std::string> file;  // nothing: absent; "<folder>": a folder in its place
    std::optional<std::string> lastGood;
    std::optional<std::int64_t> expectedWidth;
    std::optional<SettingsDamage> expectedDamage;  // setAside relative to the folder
    std::optional<std::string> expectedSetAside;
  };
  const Case cases[] = {
      {"truncated file, good copy", truncated, good, 400, SettingsDamage{"suite.json.unreadable", true},
       truncated},
      {"empty file, good copy", std::string(), good, 400, SettingsDamage{"suite.json.unreadable", true}, ""},
      {"truncated file, damaged copy", truncated, "{", std::nullopt,
       SettingsDamage{"suite.json.unreadable", false}, truncated},
      {"truncated file, no copy", truncated, std::nullopt, std::nullopt,
       SettingsDamage{"suite.json.unreadable", false}, truncated},
      {"file that cannot be read, good copy", "<folder>", good, 400, SettingsDamage{{}, true}, std::nullopt},
      {"good file, other copy", good, R"({"width": 1})", 400, std::nullopt, std::nullopt},
      {"deleted file, good copy", std::nullopt, good, std::nullopt, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder folder;
    CapturedLog log;
    const auto file = folder.path() / "suite.json";
    if (c.file == "<folder>") {
      folder.makeFolder("suite.json");
    } else if (c.file) {
      std::ofstream(file) << *c.file;
    }
    if (c.lastGood) std::ofstream(folder.path() / "suite.json.lastgood") << *c.lastGood;

    Settings settings("suite", folder.path());
    EXPECT_EQ(settings.integer("width"), c.expectedWidth);
    EXPECT_EQ(settings.data("securityScopedFolderBookmarks").has_value(), c.expectedWidth.has_value());
    std::optional<SettingsDamage> expectedDamage = c.expectedDamage;
    if (expectedDamage && !expectedDamage->setAside.empty())
      expectedDamage->setAside = folder.path() / expectedDamage->setAside;
    EXPECT_EQ(settings.damage(), expectedDamage);
    EXPECT_EQ(log.lines.size(), c.expectedDamage ? 1u : 0u);
    if (c.expectedSetAside) {
      EXPECT_EQ(readFile(folder.path() / "suite.json.unreadable"), *c.expectedSetAside);
    }

    // A restored suite is written back whole at the next change.
    settings.setInteger("count", 1);
    const bool written = settings.flush();
    EXPECT_EQ(written, c.file != "<folder>");
    if (written && c.expectedDamage) {
      EXPECT_EQ(readJson(file).contains("securityScopedFolderBookmarks"), c.expectedDamage->restoredLastGood);
    }
  }
}

}  // namespace
}  // namespace lorvex::platform
