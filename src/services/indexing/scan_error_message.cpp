#include "services/indexing/scan_error_message.h"

#include "metadata/png_text_chunk_reader.h"
#include "platform/regular_file.h"
#include "services/library_error_translation.h"

namespace lorvex {

namespace {

// What the stored message carries besides the error's text: the system's name of its errno, or the
// chunk a PNG broke in. Neither adds a word the classification looks for.
std::string codeOf(const std::exception_ptr& error) {
  if (std::string name = platform::errorNumberName(errorNumberOf(error)); !name.empty()) return name;
  try {
    std::rethrow_exception(error);
  } catch (const PNGTextChunkReaderError& readerError) {
    return readerError.chunkType();
  } catch (...) {
    return {};
  }
}

}  // namespace

std::string errorMessage(const std::exception& error) {
  return error.what();
}

std::string errorMessage(const std::exception_ptr& error) {
  if (!error) return "Unknown error";
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return errorMessage(caught);
  } catch (...) {
    return "Unknown error";
  }
}

ImageLibraryScanFailure scanFailure(std::string path, const std::exception_ptr& error) {
  std::string message = errorMessage(error);
  if (error) {
    if (const std::string code = codeOf(error); !code.empty()) message += " (" + code + ")";
  }
  return ImageLibraryScanFailure::classified(std::move(path), std::move(message));
}

}  // namespace lorvex
