// Repository options for tests that read the clock they set and the statements that ran.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_image_repository.h"
#include "platform/clock.h"

namespace lorvex::testing {

// Options with `clock` as the repository's clock and every statement text appended to
// `statements`; both must outlive the repository.
inline SQLiteImageRepositoryV3Options recordingOptions(platform::Clock& clock,
                                                       std::vector<std::string>& statements) {
  SQLiteImageRepositoryV3Options options;
  options.statementObserver = [&statements](std::string_view sql) { statements.emplace_back(sql); };
  options.clock = &clock;
  return options;
}

}  // namespace lorvex::testing
