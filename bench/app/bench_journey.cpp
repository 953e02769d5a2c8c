// bench_journey [--work DIR] [--count N] [--new N] [--journeys NAME,...] [--rounds R] [--repeat K] [--smoke]
//
// Runs the journeys of tests/app/journeys (a new user's steps through the composed application,
// driven by input events) on a library of N indexed images (default 100,000) while a folder of
// new images (default 20,000) is being indexed, and prints the main thread's busy time per action:
// p50, p99 and max over every time the action was taken, beside its budget.
//
//   action:  one input (a click, a key, a wheel turn, a typed text) and the event handling it
//            causes until the window is idle again (the journeys' own settle: nothing posted and
//            no image decode running, twice in a row). Busy is the main thread's handling of every
//            outermost event in that time, summed (MainThreadBusyClock); "longest" is the longest
//            single event in it.
//   budget:  p99 <= 16 ms and max <= 50 ms; the actions synchronous on a library write (the
//            favourite and delete-candidate marks, undo) p99 <= 50 ms while indexing runs.
//   floor:   "(no input)", the same settle with no input, while the indexing runs: what the
//            indexing's own progress costs the main thread in an action's time.
//
// Each journey starts where the one before it ended, so each measured journey gets a run of its
// own: a fresh home holding a copy of the cached library, the application launched at 1280x800,
// the journeys before it run unmeasured, then the new folder's registration started (the first
// launch picks it itself, beside the journeys' own pictures folder, in its folder picker) and the
// journey measured while it is indexed. Actions taken after the indexing ended are listed apart.
// A journey that ends where it began and leaves the library as it found it (browse) is taken K
// times in a row in its measured run (default 40; fewer if the indexing ends first), so that each
// of its actions has enough samples for its p99 to be more than its worst sample; the others once.
// The journeys' checks are written for a library of their own folder; on this library some do not
// hold (counts, positions): their number is printed, their waits are cut to 5 s, and they are no
// part of the figures.
//
// The images (bench/index/make_bench_pngs.py) and the library (indexed by lorvex-index into the
// application's library of a scratch home) are made once and kept in DIR (default
// /tmp/lorvex-bench-journey; delete it to start over). HOME and XDG_* point at temporary folders;
// the platform is offscreen. Build in Release for figures. --smoke: 200 images, 40 new, the browse
// journey only, in a temporary DIR (the ctest keeps this compiling and running).
//
// Exit status: 0 when the table was printed (whatever the verdicts), 1 when the run failed or an
// action was not timed (its input not seen by the clock).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "journey_steps.h"
#include "main_thread_busy_clock.h"
#include "platform/log.h"
#include "store/image_library_store.h"
#include "ui/support/ui_test_application.h"

#ifndef LORVEX_SOURCE_DIR
#error "LORVEX_SOURCE_DIR names the source tree (for bench/index/make_bench_pngs.py)"
#endif
#ifndef LORVEX_INDEX_TOOL
#error "LORVEX_INDEX_TOOL names the built lorvex-index"
#endif

namespace lorvex::bench {
namespace {

namespace fs = std::filesystem;
using journeys::Driver;
using journeys::JourneyApp;
using journeys::JourneyDefinition;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr std::chrono::milliseconds kStallThreshold{16};
constexpr std::chrono::milliseconds kPatience{5000};
constexpr double kFrameBudget = 16;
constexpr double kMaxBudget = 50;
constexpr double kWriteBudget = 50;
constexpr int kFloorSamples = 5;

struct Options {
  fs::path work = "/tmp/lorvex-bench-journey";
  int count = 100'000;
  int fresh = 20'000;
  std::vector<std::string> journeys;  // empty: all
  int rounds = 1;
  int repeat = 40;  // times a repeatable journey is taken in its measured run
  bool smoke = false;
  bool temporaryWork = false;  // removed at the end
};

std::optional<Options> parse(int argc, char** argv) {
  Options options;
  bool workGiven = false;
  bool repeatGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--work" && hasValue) {
      options.work = argv[++i];
      workGiven = true;
    } else if (argument == "--count" && hasValue) {
      options.count = std::atoi(argv[++i]);
    } else if (argument == "--new" && hasValue) {
      options.fresh = std::atoi(argv[++i]);
    } else if (argument == "--rounds" && hasValue) {
      options.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--repeat" && hasValue) {
      options.repeat = std::max(1, std::atoi(argv[++i]));
      repeatGiven = true;
    } else if (argument == "--journeys" && hasValue) {
      std::stringstream list(argv[++i]);
      for (std::string name; std::getline(list, name, ',');) options.journeys.push_back(name);
    } else if (argument == "--smoke") {
      options.smoke = true;
    } else {
      return std::nullopt;
    }
  }
  if (options.smoke) {
    options.count = 200;
    options.fresh = 40;
    if (options.journeys.empty()) options.journeys = {"browse"};
    if (!repeatGiven) options.repeat = 2;
    if (!workGiven) {
      std::string pattern = "/tmp/lorvex-bench-journey-smoke-XXXXXX";
      if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
      options.work = pattern;
      options.temporaryWork = true;
    }
  }
  if (options.count <= 0 || options.fresh <= 0) return std::nullopt;
  return options;
}

// ---- The library, made once ----

std::string quoted(const fs::path& path) {
  return "'" + path.string() + "'";
}

// The environment of a scratch home, as a command's prefix.
std::string homeEnvironment(const fs::path& home) {
  std::string prefix = "HOME=" + quoted(home);
  for (const auto& [name, relative] : {std::pair{"XDG_CONFIG_HOME", ".config"},
                                       {"XDG_DATA_HOME", ".local/share"},
                                       {"XDG_CACHE_HOME", ".cache"},
                                       {"XDG_STATE_HOME", ".local/state"},
                                       {"XDG_RUNTIME_DIR", "runtime"}}) {
    prefix += std::string(" ") + name + "=" + quoted(home / relative);
  }
  return prefix + " ";
}

std::string readMarker(const fs::path& marker) {
  std::ifstream in(marker);
  std::string text;
  std::getline(in, text);
  return text;
}

bool runCommand(const std::string& command) {
  std::fprintf(stderr, "  $ %s\n", command.c_str());
  return std::system(command.c_str()) == 0;
}

// Writes `count` generator PNGs into `folder` unless the marker says they are there.
bool makeImages(const fs::path& folder, int count, int seed) {
  const fs::path marker = folder.string() + ".done";
  if (readMarker(marker) == std::to_string(count)) return true;
  std::fprintf(stderr, "writing %d PNGs to %s\n", count, folder.c_str());
  fs::remove_all(folder);
  if (!runCommand("python3 " + quoted(fs::path(LORVEX_SOURCE_DIR) / "bench/index/make_bench_pngs.py") +
                  " --out " + quoted(folder) + " --count " + std::to_string(count) + " --seed " +
                  std::to_string(seed) + " --min-bytes 2048 --max-bytes 8192")) {
    return false;
  }
  std::ofstream(marker) << count << "\n";
  return true;
}

// The application's library of a scratch home with `images` registered and indexed, made by
// lorvex-index unless the marker says it is there; each run copies it.
bool makeLibrary(const fs::path& home, const fs::path& images, int count) {
  const fs::path marker = home.string() + ".done";
  if (readMarker(marker) == std::to_string(count)) return true;
  std::fprintf(stderr, "indexing them into the application's library of %s\n", home.c_str());
  fs::remove_all(home);
  for (const char* relative : {".config", ".local/share", ".cache", ".local/state", "runtime"}) {
    fs::create_directories(home / relative);
  }
  fs::permissions(home / "runtime", fs::perms::owner_all, fs::perm_options::replace);
  const fs::path result = home.string() + ".json";
  if (!runCommand(homeEnvironment(home) + quoted(LORVEX_INDEX_TOOL) + " --app-settings " + quoted(images) +
                  " > " + quoted(result) + " 2> /dev/null")) {
    return false;
  }
  std::fprintf(stderr, "  %s\n", readMarker(result).c_str());
  std::ofstream(marker) << count << "\n";
  return true;
}

// ---- Timing the actions ----

// The run's log: the program logs from any thread.
class RunLog {
 public:
  explicit RunLog(const fs::path& file) : out_(file, std::ios::trunc) {}
  void line(const std::string& text) {
    const std::lock_guard hold(lock_);
    out_ << text << "\n";
    out_.flush();
  }

 private:
  std::mutex lock_;
  std::ofstream out_;
};

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", value);
  return text;
}

struct Sample {
  std::string action;
  std::string journey;
  double busy = 0;     // ms
  double cpu = 0;      // ms
  double longest = 0;  // ms
  std::string longestEvent;
  int events = 0;         // outermost events handled
  bool indexing = false;  // the indexing ran when the input was delivered
  double started = 0;     // s on the monotonic clock (perf record -k CLOCK_MONOTONIC), for profiles
};

double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class TimingReporter final : public journeys::JourneyReporter {
 public:
  TimingReporter(MainThreadBusyClock& clock, RunLog& log) : clock_(clock), log_(log) {}

  void measure(JourneyApp* app) { app_ = app; }
  const std::vector<Sample>& samples() const { return samples_; }
  int failedChecks() const { return failedChecks_; }
  const std::string& journey() const { return journey_; }
  void setJourney(const std::string& journey) { journey_ = journey; }

  void reached(const std::string& journey, const std::string& step) override {
    log_.line("reached " + journey + "." + step);
  }
  void failed(const std::string& message, const std::source_location& where) override {
    ++failedChecks_;
    log_.line("check did not hold (" + fs::path(where.file_name()).filename().string() + ":" +
              std::to_string(where.line()) + "): " + message);
  }
  void acting(const std::string& action) override {
    if (app_ == nullptr || depth_++ > 0) return;
    current_ = Sample{};
    current_.action = action;
    current_.journey = journey_;
    current_.indexing = app_->isRunning() && app_->store().library().isIndexing();
    current_.started = monotonicSeconds();
    clock_.open();
  }
  void acted() override {
    if (app_ == nullptr || --depth_ > 0) return;
    const MainThreadBusyClock::Window& window = clock_.window();
    current_.busy = Milliseconds(window.busy).count();
    current_.cpu = Milliseconds(window.cpu).count();
    current_.longest = Milliseconds(window.longest).count();
    current_.longestEvent = window.longestEvent;
    current_.events = window.events;
    log_.line("action " + current_.journey + ": " + current_.action + ": busy " + number(current_.busy) +
              " ms, cpu " + number(current_.cpu) + " ms, longest " + number(current_.longest) + " ms (" +
              current_.longestEvent + ")" + (current_.indexing ? ", indexing" : "") + "; from " +
              std::to_string(current_.started) + " to " + std::to_string(monotonicSeconds()) + " s");
    samples_.push_back(current_);
  }

 private:
  MainThreadBusyClock& clock_;
  RunLog& log_;
  JourneyApp* app_ = nullptr;  // measuring while set
  std::string journey_;
  int depth_ = 0;
  Sample current_;
  std::vector<Sample> samples_;
  int failedChecks_ = 0;
};

bool writesSynchronously(const std::string& action) {
  for (const char* write : {"key F to results.grid", "key D to results.grid", "key Del to results.grid",
                            "key Ctrl+Z to", "click review.deleteCandidate.feedback.undo"}) {
    if (action.starts_with(write)) return true;
  }
  return false;
}

// The journeys that end where they began, with the library as they found it: taking one again
// right after itself repeats the same actions on the same state.
bool isRepeatable(const std::string& journey) {
  return journey == "browse";
}

// Starts indexing the new folder (a registration, as Add Folder starts it) once the library work
// the journeys left behind has ended; false when the registration does not start.
bool startIndexing(JourneyApp& app, const fs::path& folder) {
  ImageLibraryStore& store = app.store();
  for (int attempt = 0; attempt < 5; ++attempt) {
    ui::testing::runEventsUntil([&] { return !store.library().isLibrarySyncInProgress(); },
                                std::chrono::seconds(60));
    store.context().startDetached(
        [&store, folder] { return store.library().registerFolders({folder.string()}); });
    if (ui::testing::runEventsUntil([&] { return store.library().isIndexing(); }, std::chrono::seconds(5)))
      return true;
  }
  return false;
}

// One measured journey: its own home over a copy of the library, the journeys before it unmeasured.
bool runMeasured(const Options& options, std::size_t measured, int round, TimingReporter& reporter,
                 RunLog& log) {
  const std::vector<JourneyDefinition>& all = journeys::allJourneys();
  const std::string& name = all[measured].name;
  std::fprintf(stderr, "round %d: %s\n", round, name.c_str());
  const fs::path fresh = options.work / "new-images";
  fs::path home;
  {
    JourneyApp app("bench-" + name);
    home = app.home();
    for (const char* relative : {".config", ".local/share"}) {
      fs::copy(options.work / "library-home" / relative, home / relative,
               fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    if (measured == 0) app.alsoChoose(fresh);
    if (!app.launch(journeys::kStandardWindowSize)) {
      std::fprintf(stderr, "the launch over the library did not end\n");
      return false;
    }
    // The launch's catch-up pass over the library: a registration asked for meanwhile is refused.
    ui::testing::runEventsUntil([&app] { return !app.store().library().isLibrarySyncInProgress(); },
                                std::chrono::minutes(2));
    Driver driver(app, reporter);
    driver.setPatience(kPatience);
    for (std::size_t before = 0; before < measured; ++before) {
      reporter.setJourney(all[before].name);
      driver.beginJourney(all[before].name);
      all[before].run(driver);
    }
    // The first launch's Add Folder went through: the library's folder and the journeys' own.
    if (measured > 0 && !ui::testing::runEventsUntil(
                            [&app] { return app.store().library().registeredFolderSummaries().size() == 2; },
                            std::chrono::minutes(1))) {
      std::fprintf(stderr, "the first launch did not register the journeys' folder beside the library's\n");
      return false;
    }
    if (measured > 0 && !startIndexing(app, fresh)) {
      std::fprintf(stderr, "the new folder's registration did not start\n");
      return false;
    }
    reporter.measure(&app);
    reporter.setJourney(name);
    if (measured > 0) {
      for (int i = 0; i < kFloorSamples; ++i) {
        reporter.acting("(no input)");
        driver.settle();
        reporter.acted();
      }
    }
    const int times = isRepeatable(name) ? options.repeat : 1;
    for (int time = 1; time <= times; ++time) {
      const auto started = std::chrono::steady_clock::now();
      driver.beginJourney(name);
      all[measured].run(driver);
      const bool indexing = app.isRunning() && app.store().library().isIndexing();
      log.line(name + " (" + std::to_string(time) + " of " + std::to_string(times) + "): journey took " +
               number(Milliseconds(std::chrono::steady_clock::now() - started).count()) + " ms; indexing " +
               (indexing ? "still runs" : "ended"));
      // Samples after the indexing ended belong to the other table; enough of them were taken.
      if (!indexing) break;
    }
    reporter.measure(nullptr);
  }
  std::error_code error;
  fs::remove_all(home, error);
  return true;
}

// ---- The table ----

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(values.size())));
  return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

std::string rounded(double ms) {
  return std::to_string(static_cast<long>(std::lround(ms)));
}

// One row per action: busy p50/p99/max; the CPU time's p99 (busy less waiting); the longest single
// event; the budget and, while the indexing runs, the verdict. Under the table, what the worst
// time of each row over its budget was spent on.
void printTable(const std::vector<Sample>& samples, bool underIndexing) {
  std::map<std::string, std::vector<const Sample*>> byAction;
  for (const Sample& sample : samples) {
    if (sample.indexing == underIndexing) byAction[sample.action].push_back(&sample);
  }
  std::printf("%-50s %4s %7s %7s %7s %7s %7s  %-16s %s\n", "action", "n", "p50", "p99", "max", "cpu p99",
              "longest", "budget", underIndexing ? "verdict" : "");
  std::vector<std::string> over;
  for (const auto& [action, rows] : byAction) {
    std::vector<double> busy;
    std::vector<double> cpu;
    const Sample* worst = rows.front();
    double longest = 0;
    for (const Sample* sample : rows) {
      busy.push_back(sample->busy);
      cpu.push_back(sample->cpu);
      longest = std::max(longest, sample->longest);
      if (sample->busy > worst->busy) worst = sample;
    }
    const double p99 = percentile(busy, 99);
    const double max = *std::max_element(busy.begin(), busy.end());
    const bool floor = action == "(no input)";
    const bool write = writesSynchronously(action);
    const std::string budget = floor ? "floor" : write ? "p99<=50 (write)" : "p99<=16 max<=50";
    std::string verdict;
    if (underIndexing && !floor) {
      const bool within = write ? p99 <= kWriteBudget : p99 <= kFrameBudget && max <= kMaxBudget;
      verdict = within ? "within" : "OVER";
      if (!within) {
        over.push_back(action + ": worst " + rounded(worst->busy) + " ms (cpu " + rounded(worst->cpu) +
                       ") in " + worst->journey + ", its longest event " + rounded(worst->longest) +
                       " ms: " + worst->longestEvent);
      }
    }
    std::printf("%-50s %4zu %7.1f %7.1f %7.1f %7.1f %7.1f  %-16s %s\n", action.substr(0, 50).c_str(),
                rows.size(), percentile(busy, 50), p99, max, percentile(cpu, 99), longest, budget.c_str(),
                verdict.c_str());
  }
  for (const std::string& line : over) std::printf("  over: %s\n", line.c_str());
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  std::string five;
  in >> one >> five;
  return one + " / " + five;
}

int run(const Options& options) {
  fs::create_directories(options.work);
  if (!makeImages(options.work / "library-images", options.count, 7) ||
      !makeImages(options.work / "new-images", options.fresh, 8) ||
      !makeLibrary(options.work / "library-home", options.work / "library-images", options.count)) {
    std::fprintf(stderr, "the library could not be made\n");
    return 1;
  }

  RunLog log(options.work / "bench_journey.log");
  // The stall monitor's lines and everything else the program logs go to the log, not the table.
  platform::setLogSink([&log](platform::LogLevel, std::string_view category, std::string_view message) {
    log.line("[" + std::string(category) + "] " + std::string(message));
  });
  MainThreadBusyClock* clock = nullptr;
  // Kept by uiTestApplication for the rest of the process.
  journeys::prepareJourneyProcess("en", [&clock] {
    static int argc = 1;
    static char name[] = "bench_journey";
    static char* argv[] = {name, nullptr};
    clock = new MainThreadBusyClock(argc, argv, kStallThreshold);
  });
  if (clock == nullptr) return 1;

  const std::vector<JourneyDefinition>& all = journeys::allJourneys();
  std::vector<std::size_t> measured;
  for (std::size_t i = 0; i < all.size(); ++i) {
    // "reopen" holds the library from outside and damages an index of it: not a person's timing,
    // and not for a kept library unless asked for by name.
    if (options.journeys.empty() && all[i].name == "reopen") continue;
    if (options.journeys.empty() ||
        std::find(options.journeys.begin(), options.journeys.end(), all[i].name) != options.journeys.end()) {
      measured.push_back(i);
    }
  }
  if (measured.empty()) {
    std::fprintf(stderr, "no such journey\n");
    return 1;
  }

  TimingReporter reporter(*clock, log);
  const std::string loadBefore = loadAverage();
  for (int round = 1; round <= options.rounds; ++round) {
    for (const std::size_t journey : measured) {
      if (!runMeasured(options, journey, round, reporter, log)) return 1;
    }
  }

  std::printf(
      "bench_journey: %d indexed images, %d new ones being indexed (registered as Add Folder does);\n"
      "offscreen, 1280x800, en; %d round(s), browse taken up to %d times a round; %u cores, load average\n"
      "(1 / 5 min) %s before, %s after. Main-thread busy per action (input until the window is idle), ms.\n",
      options.count, options.fresh, options.rounds, options.repeat, std::thread::hardware_concurrency(),
      loadBefore.c_str(), loadAverage().c_str());
  std::printf("\nWhile the indexing runs:\n");
  printTable(reporter.samples(), true);
  std::printf("\nWithout indexing running (before it started or after it ended; no budget):\n");
  printTable(reporter.samples(), false);
  std::printf("\njourney checks that did not hold on this library: %d (see %s)\n", reporter.failedChecks(),
              (options.work / "bench_journey.log").c_str());
  // Every input is an event the main thread handles: an action without one was not timed.
  const auto& samples = reporter.samples();
  const bool timed =
      !samples.empty() && std::all_of(samples.begin(), samples.end(), [](const Sample& sample) {
        return sample.action == "(no input)" || sample.events > 0;
      });
  if (!timed) std::fprintf(stderr, "no action was timed, or one without its input\n");
  return timed ? 0 : 1;
}

}  // namespace
}  // namespace lorvex::bench

int main(int argc, char** argv) {
  const std::optional<lorvex::bench::Options> options = lorvex::bench::parse(argc, argv);
  if (!options) {
    std::fprintf(stderr,
                 "usage: bench_journey [--work DIR] [--count N] [--new N] [--journeys NAME,...] [--rounds R] "
                 "[--repeat K] [--smoke]\n");
    return 2;
  }
  const int status = lorvex::bench::run(*options);
  if (options->temporaryWork) {
    std::error_code error;
    std::filesystem::remove_all(options->work, error);
  }
  return status;
}
