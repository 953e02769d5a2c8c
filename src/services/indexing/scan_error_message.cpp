#include "services/indexing/scan_error_message.h"

namespace lorvex {

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
  return ImageLibraryScanFailure::classified(std::move(path), errorMessage(error));
}

}  // namespace lorvex
