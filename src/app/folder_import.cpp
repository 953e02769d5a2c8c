#include "app/folder_import.h"

#include <filesystem>
#include <utility>

#include "model/text/paths.h"

namespace lorvex::app {

namespace {

// The folder holding `path` ("/" holds itself), trailing slashes ignored.
std::string parentFolder(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? std::string("/") : parent;
}

}  // namespace

std::string folderPickerTitle(const FolderImportRequest& request, const ui::AppLocalization& localization) {
  if (request.kind == FolderImportRequest::Kind::reauthorization) {
    const std::string_view name = text::lastPathComponent(request.path);
    return localization.lookup("platform.folderPicker.reauthorize", {std::string(name.empty() ? "/" : name)});
  }
  return localization.lookup("platform.folderPicker.addFolders");
}

std::string folderPickerStartFolder(const FolderImportRequest& request,
                                    const std::optional<std::string>& lastChosenFolder,
                                    const std::string& homeFolder,
                                    const std::function<bool(const std::string& path)>& isDirectory) {
  const std::optional<std::string> near = request.kind == FolderImportRequest::Kind::reauthorization
                                              ? std::optional(request.path)
                                              : lastChosenFolder;
  if (near && !near->empty() && near->front() == '/') {
    const std::string parent = parentFolder(*near);
    if (isDirectory(parent)) return parent;
  }
  return homeFolder.empty() ? std::string("/") : homeFolder;
}

void FolderImportFlow::present(FolderImportRequest request) {
  lastRequest_ = request;
  request_ = std::move(request);
}

void FolderImportFlow::dismiss() {
  request_.reset();
}

FolderImportOutcome FolderImportFlow::complete(const FolderPickerResult& result) {
  std::optional<FolderImportRequest> request = request_ ? request_ : lastRequest_;
  request_.reset();
  lastRequest_.reset();
  if (!request) return std::monostate{};
  if (const auto* error = std::get_if<FolderPickerError>(&result))
    return ShowFolderImportError{error->message, error->notice};
  const auto& folders = std::get<std::vector<std::string>>(result);
  if (request->kind == FolderImportRequest::Kind::registration) return RegisterFolders{folders};
  if (folders.empty()) return std::monostate{};
  return ReauthorizeFolder{folders.front(), request->path};
}

}  // namespace lorvex::app
