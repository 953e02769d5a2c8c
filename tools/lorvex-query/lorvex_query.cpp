// lorvex-query --library DIR [--root PATH]... [--tag T]... [--model M] [--favorite]
//              [--delete-candidate] [--missing] [--aspect portrait|landscape|square] [--seed N]
//              [--text T] [--sort CASE] [--offset N] [--limit N] [--repeat N]
//
// Opens the library "LorvexV3.sqlite" in DIR and runs one search with the query the library
// browser builds for those filters: delete candidates are left out unless --delete-candidate asks
// for them, missing files are left out (--missing lists only them), the limit is 501 and the
// order modificationDateDescending unless given. Prints one JSON object per record and line (path,
// seed, prompt, promptTags, reviewState) and, last on stderr, "elapsed_ms=<milliseconds>" for the
// search call alone.
// --repeat N runs the same search N times on the one open library and prints one elapsed_ms line
// per run, in order: the first is the cold run, the others show a page served warm. The records
// are printed once; a run that returns other records than the first is an error.
// Exits 1 with the error's description when the arguments are wrong (--offset and --limit take a
// whole number of 0 or more, --repeat one of 1 or more), the library cannot be opened or a search
// fails. A developer's tool for checks and timings on real libraries; opening a
// library runs the same start-up steps as the application, so do not point it at the library of a
// running application.
#include <chrono>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "database/library_database_file.h"
#include "database/sqlite_image_repository.h"
#include "model/raw_value.h"
#include "model/text/numbers.h"

namespace {

using Json = nlohmann::ordered_json;

struct Arguments {
  std::filesystem::path library;
  lorvex::ImageSearchQuery query;
  std::int64_t repeat = 1;
};

constexpr std::string_view kUsage =
    "usage: lorvex-query --library DIR [--root PATH]... [--tag T]... [--model M] [--favorite] "
    "[--delete-candidate] [--aspect portrait|landscape|square] [--seed N] [--text T] [--sort CASE] "
    "[--offset N] [--limit N] [--repeat N]";

std::int64_t integerArgument(std::string_view name, const std::string& value) {
  if (auto number = lorvex::text::parseInt64(value)) return *number;
  throw std::invalid_argument(std::string(name) + " needs an integer, not \"" + value + "\"");
}

// The search would read a negative offset or limit as 0; a count asked for is never negative.
std::int64_t countArgument(std::string_view name, const std::string& value, std::int64_t minimum) {
  const auto number = lorvex::text::parseInt64(value);
  if (!number || *number < minimum) {
    throw std::invalid_argument(std::string(name) + " needs a whole number of " + std::to_string(minimum) +
                                " or more, not \"" + value + "\"");
  }
  return *number;
}

Arguments parse(int argc, char** argv) {
  Arguments arguments;
  auto& query = arguments.query;
  query.limit = 501;
  query.sort = lorvex::ImageSearchSort::modificationDateDescending;
  query.deleteCandidate = false;
  query.includeMissing = false;
  bool haveLibrary = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(std::string(option) + " needs a value");
      return argv[++i];
    };
    if (option == "--library") {
      arguments.library = value();
      haveLibrary = true;
    } else if (option == "--root") {
      query.rootPaths.push_back(value());
    } else if (option == "--tag") {
      query.filterTags.push_back(value());
    } else if (option == "--model") {
      query.source = value();
    } else if (option == "--favorite") {
      query.favorite = true;
    } else if (option == "--delete-candidate") {
      query.deleteCandidate = true;
    } else if (option == "--missing") {
      query.missing = true;
    } else if (option == "--aspect") {
      const std::string aspect = value();
      const auto filter = lorvex::fromRawValue<lorvex::ImageAspectFilter>(aspect);
      if (!filter) throw std::invalid_argument("unknown aspect \"" + aspect + "\"");
      query.aspectFilters.push_back(*filter);
    } else if (option == "--seed") {
      query.seed = integerArgument(option, value());
    } else if (option == "--text") {
      query.text = value();
    } else if (option == "--sort") {
      const std::string sort = value();
      const auto parsed = lorvex::fromRawValue<lorvex::ImageSearchSort>(sort);
      if (!parsed) throw std::invalid_argument("unknown sort \"" + sort + "\"");
      query.sort = *parsed;
    } else if (option == "--offset") {
      query.offset = countArgument(option, value(), 0);
    } else if (option == "--limit") {
      query.limit = countArgument(option, value(), 0);
    } else if (option == "--repeat") {
      arguments.repeat = countArgument(option, value(), 1);
    } else {
      throw std::invalid_argument("unknown option \"" + std::string(option) + "\"");
    }
  }
  if (!haveLibrary) throw std::invalid_argument("--library is required");
  return arguments;
}

Json recordJSON(const lorvex::ImageRecord& record) {
  Json object;
  object["path"] = record.file.path;
  object["seed"] = record.metadata.seed ? Json(*record.metadata.seed) : Json(nullptr);
  object["prompt"] = record.metadata.prompt ? Json(*record.metadata.prompt) : Json(nullptr);
  object["promptTags"] = record.promptTags;
  Json review;
  review["favorite"] = record.reviewState.favorite;
  review["deleteCandidate"] = record.reviewState.deleteCandidate;
  review["notes"] = record.reviewState.notes ? Json(*record.reviewState.notes) : Json(nullptr);
  object["reviewState"] = std::move(review);
  object["isMissing"] = record.isMissing;
  return object;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  try {
    arguments = parse(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n' << kUsage << '\n';
    return 1;
  }
  try {
    const auto file = arguments.library / lorvex::kLibraryDatabaseFileName;
    if (!std::filesystem::is_regular_file(file)) throw std::runtime_error("No library at " + file.string());
    lorvex::SQLiteImageRepositoryV3 repository(file);
    std::vector<lorvex::ImageRecord> records;
    std::vector<double> elapsedMilliseconds;
    for (std::int64_t run = 0; run < arguments.repeat; ++run) {
      const auto start = std::chrono::steady_clock::now();
      auto page = repository.searchImages(arguments.query);
      const auto elapsed = std::chrono::steady_clock::now() - start;
      elapsedMilliseconds.push_back(std::chrono::duration<double, std::milli>(elapsed).count());
      if (run == 0) {
        records = std::move(page);
      } else if (page != records) {
        throw std::runtime_error("run " + std::to_string(run + 1) + " returned other records than the first");
      }
    }
    for (const auto& record : records) {
      std::cout << recordJSON(record).dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
    }
    std::cout.flush();
    for (const double milliseconds : elapsedMilliseconds) {
      std::cerr << "elapsed_ms=" << std::fixed << std::setprecision(3) << milliseconds << "\n";
    }
    return 0;
  } catch (const lorvex::SQLiteImageRepositoryV3Error& error) {
    std::cerr << error.localizedDescription() << '\n';
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
  }
  return 1;
}
