#include "services/folders/folder_access_diagnostics.h"

#include <filesystem>
#include <system_error>

#include "model/raw_value.h"
#include "platform/base64.h"
#include "platform/bookmark_codec.h"
#include "platform/log.h"
#include "platform/sha256.h"
#include "services/folders/stored_bookmarks_error.h"

namespace lorvex {
namespace {

// The path stays private: only a digest appears, so lines of one folder can still be matched.
std::string maskedPath(const std::string& path) {
  platform::Sha256 sha;
  sha.update(path);
  const auto digest = sha.finish();
  return "<mask.hash: '" + platform::base64Encode(std::span(digest.data(), 16)) + "'>";
}

FolderAccessErrorDetails posixDetails(const std::system_error& error, bool hasPath) {
  const bool posix =
      error.code().category() == std::generic_category() || error.code().category() == std::system_category();
  return {posix ? "POSIX" : std::string(error.code().category().name()), error.code().value(), hasPath,
          error.what()};
}

}  // namespace

void FolderAccessDiagnosticsLogger::record(const FolderAccessDiagnostic& diagnostic) {
  platform::logError("FolderAccess", formatLine(diagnostic));
}

std::string FolderAccessDiagnosticsLogger::formatLine(const FolderAccessDiagnostic& diagnostic) {
  return "Folder access evaluation failed operation=" + std::string(rawValue(diagnostic.operation)) +
         " domain=" + diagnostic.errorDomain + " code=" + std::to_string(diagnostic.errorCode) +
         " errorHasPath=" + (diagnostic.errorHasPath ? "true" : "false") +
         " bookmarkResolutions=" + std::to_string(diagnostic.bookmarkResolutionCount) +
         " registeredPath=" + maskedPath(diagnostic.registeredPath);
}

FolderAccessErrorDetails folderAccessErrorDetails(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const platform::BookmarkCreationError& e) {
    return posixDetails(e, true);
  } catch (const std::filesystem::filesystem_error& e) {
    return posixDetails(e, !e.path1().empty());
  } catch (const std::system_error& e) {
    return posixDetails(e, false);
  } catch (const platform::BookmarkDecodingError& e) {
    return {"Lorvex.BookmarkCodec", 1, false, e.what()};
  } catch (const StoredBookmarksError& e) {
    return {"Lorvex.DecodingError", static_cast<std::int64_t>(e.kind()), false, e.what()};
  } catch (const std::exception& e) {
    return {"Lorvex.Error", 0, false, e.what()};
  } catch (...) {
    return {"Lorvex.Error", 0, false, "Unknown error"};
  }
}

}  // namespace lorvex
