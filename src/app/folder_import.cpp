#include "app/folder_import.h"

#include <utility>

namespace lorvex::app {

void FolderImportFlow::present(FolderImportRequest request) {
  lastRequest_ = request;
  request_ = std::move(request);
}

void FolderImportFlow::dismiss() { request_.reset(); }

FolderImportOutcome FolderImportFlow::complete(const FolderPickerResult& result) {
  std::optional<FolderImportRequest> request = request_ ? request_ : lastRequest_;
  request_.reset();
  lastRequest_.reset();
  if (!request) return std::monostate{};
  if (const auto* error = std::get_if<FolderPickerError>(&result)) return ShowFolderImportError{error->message};
  const auto& folders = std::get<std::vector<std::string>>(result);
  if (request->kind == FolderImportRequest::Kind::registration) return RegisterFolders{folders};
  if (folders.empty()) return std::monostate{};
  return ReauthorizeFolder{folders.front(), request->path};
}

}  // namespace lorvex::app
