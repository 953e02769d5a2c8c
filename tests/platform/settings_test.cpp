#include "platform/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "platform/log.h"
#include "platform/temporary_folder.h"

namespace lorvex::platform {
namespace {

using lorvex::testing::TemporaryFolder;

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
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
    for (const auto& [key, value] : values) EXPECT_TRUE(settings.set(key, value)) << key;
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
  ASSERT_TRUE(settings.setString("text", "y"));
  const std::string written = readFile(settings.filePath());
  EXPECT_NE(written.find("\"object\""), std::string::npos);
  EXPECT_NE(written.find("18446744073709551615"), std::string::npos);
}

TEST(SettingsTest, WriteReplacesTheFileAtomically) {
  TemporaryFolder folder;
  Settings settings("suite", folder.path());
  ASSERT_TRUE(settings.setInteger("a", 1));
  const auto file = settings.filePath();
  // A hard link keeps the old file: an in-place write would change it, a replacement does not.
  const auto link = folder.path() / "old-link";
  ASSERT_EQ(::link(file.c_str(), link.c_str()), 0);
  const std::string before = readFile(link);

  ASSERT_TRUE(settings.setInteger("b", 2));
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
  EXPECT_EQ(names, (std::vector<std::string>{"old-link", "suite.json"}));  // no temporary file left
}

TEST(SettingsTest, CreatesTheMissingFolderPrivately) {
  TemporaryFolder folder;
  const auto nested = folder.path() / "config" / "Lorvex";
  Settings settings("suite", nested);
  EXPECT_FALSE(std::filesystem::exists(nested));  // opening writes nothing
  ASSERT_TRUE(settings.setBoolean("flag", true));
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
      ASSERT_TRUE(settings.setInteger("a", 1));
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
  EXPECT_FALSE(settings.setInteger("a", 5));
  EXPECT_EQ(settings.integer("a"), 5);
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("Settings not saved"), std::string::npos);
}

TEST(SettingsTest, FileThatCannotBeReadIsNeverReplaced) {
  TemporaryFolder folder;
  CapturedLog log;
  folder.makeFolder("suite.json");  // exists, but reading it fails
  Settings settings("suite", folder.path());
  EXPECT_FALSE(settings.setInteger("a", 1));
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
  EXPECT_FALSE(settings.setInteger("a", 1));
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

}  // namespace
}  // namespace lorvex::platform
