#include "services/library_error_translation.h"

#include <filesystem>

#include "platform/bookmark_codec.h"
#include "platform/regular_file.h"
#include "platform/settings.h"
#include "platform/thumbnail_codec.h"

namespace lorvex {

namespace {

LibraryError::Kind kindOf(const std::exception_ptr& error) {
  using Kind = LibraryError::Kind;
  try {
    std::rethrow_exception(error);
  } catch (const platform::FileError&) {
    return Kind::fileSystem;
  } catch (const std::filesystem::filesystem_error&) {
    return Kind::fileSystem;
  } catch (const platform::BookmarkCreationError&) {
    return Kind::folderAccess;
  } catch (const platform::BookmarkDecodingError&) {
    return Kind::folderAccess;
  } catch (const platform::SettingsError&) {
    return Kind::configuration;
  } catch (const platform::ThumbnailCodecError&) {
    return Kind::thumbnail;
  } catch (...) {
    return Kind::unexpected;
  }
}

}  // namespace

std::exception_ptr asLibraryError(const std::exception_ptr& error) {
  if (!error) return error;
  try {
    std::rethrow_exception(error);
  } catch (const LibraryError&) {
    return error;
  } catch (...) {
    std::string description = "Unknown error";
    try {
      throw;
    } catch (const std::exception& foreign) {
      description = foreign.what();
    } catch (...) {
    }
    try {
      // Called inside the handler, so the original becomes the nested exception.
      std::throw_with_nested(LibraryError(kindOf(error), std::move(description)));
    } catch (...) {
      return std::current_exception();
    }
  }
}

}  // namespace lorvex
