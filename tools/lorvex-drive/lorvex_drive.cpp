// lorvex-drive --library DIR [--tag-concepts] [--probe] [FOLDER] [-- COMMAND ARGS... [-- COMMAND ...]]:
// drives the application's library store without a window, as a person would through it. The
// store is composed over the live service with DIR as its library folder and a settings suite kept
// inside DIR (the user's own library and settings are never touched); it runs the launch, then
// registers FOLDER when one is given, then runs the commands in order, each separated by "--".
// --tag-concepts switches on the tag-concept features the application keeps off.
//
// stdout: the indexing progress (at most 10 lines a second: phase, processed/total, indexed,
// failed), what preparing the library had to do with the file it found (a damaged library set
// aside, with the marks given back by the launch's scans), the scan summary with its failed files,
// every error the store shows (as the window tells it, in the locale's language), the first page
// of results (count, whether more exist, the first 10 paths), and what each command prints. With
// --probe a copy of a PNG of FOLDER is then written into FOLDER under a new name and the time until
// the result window holds it is printed; the copy is removed again before the tool exits.
//
// Exits 0 when all went well; 1 when the store showed an error while launching or registering,
// the store did not settle, a command failed, or the probe's image took more than 30 s to appear;
// 2 on a usage error.
#include <qcoro/qcorotask.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "drive_commands.h"
#include "model/raw_value.h"
#include "platform/long_lived_threads.h"
#include "store/image_library_store.h"
#include "store/library_store_composition.h"
#include "store/store_idle.h"

namespace {

using namespace lorvex;
using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kProbeTimeout{30};
constexpr auto kProgressLineInterval = std::chrono::milliseconds(100);

// One command of the command line: its name and the words after it.
struct CommandLine {
  std::string name;
  std::vector<std::string> arguments;
};

struct Arguments {
  std::filesystem::path library;
  std::string folder;
  bool probe = false;
  bool tagConcepts = false;
  std::vector<CommandLine> commands;
};

bool parseArguments(int argc, char** argv, Arguments& arguments) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--") break;
    if (argument == "--library" && i + 1 < argc) {
      arguments.library = argv[++i];
    } else if (argument == "--probe") {
      arguments.probe = true;
    } else if (argument == "--tag-concepts") {
      arguments.tagConcepts = true;
    } else if (argument.starts_with("--") || !arguments.folder.empty()) {
      return false;
    } else {
      // The folder as registering it through the picker gives it: an absolute path.
      arguments.folder = std::filesystem::absolute(argument).lexically_normal().string();
    }
  }
  // The commands: "--" before each.
  for (; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--") {
      arguments.commands.emplace_back();
    } else if (arguments.commands.back().name.empty()) {
      arguments.commands.back().name = argument;
    } else {
      arguments.commands.back().arguments.push_back(argument);
    }
  }
  for (const auto& command : arguments.commands) {
    if (command.name.empty()) return false;
  }
  return !arguments.library.empty() && (arguments.probe ? !arguments.folder.empty() : true);
}

DriveCommands allCommands() {
  DriveCommands commands;
  addResultCommands(commands);
  addFilterCommands(commands);
  addReviewCommands(commands);
  addConceptCommands(commands);
  addTrashCommands(commands);
  addDiskCommands(commands);
  return commands;
}

// Prints what the store reports while it works: progress, throttled, and every error shown.
class StoreReporter {
 public:
  explicit StoreReporter(ImageLibraryStore& store) : store_(store) {
    QObject::connect(&store.library(), &LibraryModel::indexingProgressChanged, &context_,
                     [this] { progressChanged(); });
    QObject::connect(&store.context(), &StoreContext::errorMessageChanged, &context_, [this] {
      if (!store_.context().errorMessage()) return;
      std::printf("error: %s\n", shownError(store_).c_str());
      std::fflush(stdout);
      errorShown_ = true;
    });
  }

  bool errorShown() const { return errorShown_; }

 private:
  void progressChanged() {
    const auto& progress = store_.library().indexingProgress();
    if (!progress) return;
    const auto now = Clock::now();
    // A new phase is always shown; within one, at most one line per interval.
    const bool phaseChanged = progress->phase != lastPhase_;
    if (!phaseChanged && lastLine_ && now - *lastLine_ < kProgressLineInterval) return;
    lastLine_ = now;
    lastPhase_ = progress->phase;
    std::printf(
        "progress: %s %lld/%lld indexed %lld failed %lld\n", std::string(rawValue(progress->phase)).c_str(),
        static_cast<long long>(progress->processedCount), static_cast<long long>(progress->totalCount),
        static_cast<long long>(progress->indexedCount), static_cast<long long>(progress->failedCount));
    std::fflush(stdout);
  }

  ImageLibraryStore& store_;
  // Ends the connections with the reporter, whatever the store still signals afterwards.
  QObject context_;
  std::optional<Clock::time_point> lastLine_;
  std::optional<ImageLibraryIndexingPhase> lastPhase_;
  bool errorShown_ = false;
};

// A PNG of the folder that the library indexed (the first shown result), to copy for the probe.
std::optional<std::filesystem::path> probeSource(const ImageLibraryStore& store) {
  for (const auto& record : store.results().resultWindow().records()) {
    std::error_code error;
    if (std::filesystem::is_regular_file(record->file.path, error) &&
        std::filesystem::file_size(record->file.path, error) > 0) {
      return std::filesystem::path(record->file.path);
    }
  }
  return std::nullopt;
}

// Writes a copy of an indexed PNG into the folder and waits until the result window holds it.
// True when it appeared within the limit.
bool probe(ImageLibraryStore& store, const std::string& folder) {
  const auto source = probeSource(store);
  if (!source) {
    std::printf("probe: no indexed PNG to copy\n");
    return false;
  }
  const auto stamp =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
  const std::filesystem::path copy =
      std::filesystem::path(folder) / ("lorvex-drive-probe-" + std::to_string(stamp) + ".png");
  std::error_code error;
  std::filesystem::copy_file(*source, copy, error);
  if (error) {
    std::printf("probe: cannot write %s: %s\n", copy.c_str(), error.message().c_str());
    return false;
  }
  const auto started = Clock::now();
  const std::string path = std::filesystem::weakly_canonical(copy).string();
  // Wakes the wait below now and then, so the deadline is seen while nothing happens.
  QTimer tick;
  tick.start(100);
  bool appeared = false;
  while (Clock::now() - started < kProbeTimeout) {
    if (store.results().resultWindow().index(path) || store.results().resultWindow().index(copy.string())) {
      appeared = true;
      break;
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  if (appeared) {
    std::printf("probe: %s appeared after %.2f s\n", copy.c_str(), seconds);
  } else {
    std::printf("probe: %s did not appear within %.0f s\n", copy.c_str(), seconds);
  }
  std::filesystem::remove(copy, error);
  return appeared;
}

int drive(int argc, char** argv) {
  Arguments arguments;
  const DriveCommands commands = allCommands();
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(
        stderr,
        "usage: lorvex-drive --library DIR [--tag-concepts] [--probe] [FOLDER] [-- COMMAND ARGS...]...\n"
        "commands:\n%s",
        commands.usageLines().c_str());
    return 2;
  }
  for (const auto& command : arguments.commands) {
    if (commands.find(command.name) == nullptr) {
      std::fprintf(stderr, "lorvex-drive: unknown command %s\ncommands:\n%s", command.name.c_str(),
                   commands.usageLines().c_str());
      return 2;
    }
  }
  QCoreApplication application(argc, argv);

  LibraryStoreRuntime runtime;
  runtime.tagConceptsEnabled = arguments.tagConcepts;
  std::unique_ptr<ImageLibraryStore> store =
      makeLibraryStoreInFolder(arguments.library, kFolderLibrarySettingsSuiteName, runtime);
  StoreReporter reporter(*store);
  DriveContext context{*store, arguments.library};

  std::printf("launching: %s\n", arguments.library.c_str());
  store->library().startLaunchWorkflow();
  if (!context.settle("the launch")) return 1;
  if (store->context().needsLiveServicePreparation() || reporter.errorShown()) return 1;
  if (const auto& notice = store->library().libraryRecoveryNotice()) {
    std::printf(
        "recovery: %s, set aside as %s, marks of %lld images recovered\n",
        notice->kind == LibraryRecoveryNotice::Kind::damagedLibraryRebuilt ? "damaged library rebuilt"
                                                                           : "unreadable file set aside",
        notice->setAsideFileName.c_str(), static_cast<long long>(notice->recoveredMarkCount.value_or(0)));
  }

  if (!arguments.folder.empty()) {
    std::printf("registering: %s\n", arguments.folder.c_str());
    QCoro::Task<void> registration = store->library().registerFolders({arguments.folder});
    if (!context.settle("the registration")) return 1;
    context.printScanSummary();
  }
  context.printResults();
  const bool preparedCleanly = !reporter.errorShown();

  bool probed = true;
  if (arguments.probe) probed = probe(*store, arguments.folder);

  bool commandsSucceeded = true;
  for (const auto& command : arguments.commands) {
    std::string line = "> " + command.name;
    for (const auto& argument : command.arguments) line += " " + argument;
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (!commands.find(command.name)->handler(context, command.arguments)) commandsSucceeded = false;
    if (!context.settle(command.name.c_str())) return 1;
    std::fflush(stdout);
  }
  return preparedCleanly && probed && commandsSucceeded ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const int status = drive(argc, argv);
  // Like the program: every thread made on the way ends before the process exits.
  lorvex::platform::endLongLivedThreads(std::chrono::steady_clock::now() + std::chrono::seconds(10));
  return status;
}
