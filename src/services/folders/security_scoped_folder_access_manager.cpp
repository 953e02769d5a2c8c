#include "services/folders/security_scoped_folder_access_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "model/text/unicode.h"
#include "platform/base64.h"
#include "platform/bookmark_codec.h"
#include "platform/json_nesting.h"
#include "platform/log.h"
#include "platform/regular_file.h"
#include "services/folders/canonical_folder_path.h"
#include "services/folders/stored_bookmarks_error.h"
#include "services/library_error_translation.h"

namespace lorvex {
namespace {

using Json = nlohmann::json;
using DecodingKind = StoredBookmarksError::Kind;

constexpr std::size_t kMaxNesting = 32;
constexpr const char* kAccessDeniedMessage = "フォルダへのアクセス権限がありません。";
constexpr const char* kMissingMessage = "フォルダが見つかりません。";
constexpr const char* kUnreadableMessage = "フォルダを読み取れません。";

const Json& member(const Json& object, const char* name) {
  const auto found = object.find(name);
  if (found == object.end()) {
    throw StoredBookmarksError(DecodingKind::keyNotFound,
                               std::string("No value for the key \"") + name + "\"");
  }
  if (found->is_null()) {
    throw StoredBookmarksError(DecodingKind::valueNotFound,
                               std::string("Null value for the key \"") + name + "\"");
  }
  if (!found->is_string()) {
    throw StoredBookmarksError(DecodingKind::typeMismatch,
                               std::string("Expected text for the key \"") + name + "\"");
  }
  return *found;
}

std::string describe(const std::exception_ptr& error) {
  return folderAccessErrorDetails(error).description;
}

}  // namespace

FolderAccessManagerError FolderAccessManagerError::reauthorizationPathMismatch(const std::string& expected,
                                                                               const std::string& selected) {
  return FolderAccessManagerError(
      Code::reauthorizationPathMismatch,
      "選択されたフォルダが登録済みフォルダと一致しません。登録: " + expected + ", 選択: " + selected,
      expected, selected);
}

FolderAccessManagerError FolderAccessManagerError::folderPathNotStorable() {
  return FolderAccessManagerError(
      Code::folderPathNotStorable,
      "フォルダのパスに UTF-8 として読めない文字が含まれているため、登録できません。");
}

SecurityScopedFolderAccessManager::Functions SecurityScopedFolderAccessManager::Functions::live() {
  Functions functions;
  functions.createBookmarkData = [](const std::string& url, std::uint64_t) {
    return platform::createBookmarkData(url);
  };
  functions.resolveBookmark = [](std::span<const std::uint8_t> data, std::uint64_t) {
    auto resolution = platform::resolveBookmarkData(data);
    return ResolvedBookmark{std::move(resolution.path), resolution.isStale};
  };
  // A folder is readable when it can be listed: both read and search permission. Not readable
  // (false) is the system's EACCES, which the folder's row names; any other refusal names itself.
  functions.readabilityProvider = [](const std::string& url) {
    if (::access(url.c_str(), R_OK | X_OK) == 0) return true;
    const int error = errno;
    if (error == EACCES) return false;
    throw std::filesystem::filesystem_error("Cannot check whether the folder can be read", url,
                                            std::error_code(error, std::generic_category()));
  };
  functions.startAccessingSecurityScopedResource = [](const std::string&) { return true; };
  functions.stopAccessingSecurityScopedResource = [](const std::string&) {};
  functions.isExistingDirectory = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  };
  return functions;
}

SecurityScopedFolderAccessManager::SecurityScopedFolderAccessManager(
    platform::Settings userDefaults, std::string key,
    std::shared_ptr<FolderAccessDiagnosticsSink> diagnosticsSink, Functions functions)
    : userDefaults_(std::move(userDefaults)),
      key_(std::move(key)),
      diagnosticsSink_(std::move(diagnosticsSink)),
      functions_(std::move(functions)) {}

SecurityScopedFolderAccessManager::~SecurityScopedFolderAccessManager() {
  std::lock_guard guard(lock_);
  for (const auto& [path, access] : activeAccessByPath_) {
    if (access.didStart) functions_.stopAccessingSecurityScopedResource(access.url);
  }
  activeAccessByPath_.clear();
}

std::uint64_t SecurityScopedFolderAccessManager::bookmarkResolutionCount() const {
  std::lock_guard guard(lock_);
  return bookmarkResolutionCount_;
}

std::vector<std::string> SecurityScopedFolderAccessManager::restoreAccess() {
  std::lock_guard guard(lock_);
  std::vector<std::string> urls;
  for (auto& evaluation : evaluateAll()) {
    if (evaluation.access.state == RegisteredFolderAccessState::available && evaluation.access.url) {
      urls.push_back(std::move(*evaluation.access.url));
    }
  }
  return urls;
}

std::vector<RegisteredFolderAccess> SecurityScopedFolderAccessManager::registeredFolderAccesses() {
  std::lock_guard guard(lock_);
  std::vector<RegisteredFolderAccess> accesses;
  for (auto& evaluation : evaluateAll()) accesses.push_back(std::move(evaluation.access));
  return accesses;
}

void SecurityScopedFolderAccessManager::registerFolders(const std::vector<std::string>& urls) {
  std::lock_guard guard(lock_);
  std::vector<std::string> canonicalURLs;
  canonicalURLs.reserve(urls.size());
  for (const auto& url : urls) {
    canonicalURLs.push_back(canonicalFolderPath(url));
    // A record that could not be written would vanish at the next launch: refuse it up front.
    if (!text::isValidUTF8(canonicalURLs.back())) throw FolderAccessManagerError::folderPathNotStorable();
  }
  std::map<std::string, BookmarkRecord> recordsByPath;
  for (auto& record : loadRecords()) recordsByPath[record.path] = std::move(record);
  for (const auto& url : canonicalURLs) {
    if (!activeAccessByPath_.contains(url) && functions_.startAccessingSecurityScopedResource(url)) {
      activeAccessByPath_[url] = ActiveAccess{url, true};
    }
    auto data = functions_.createBookmarkData(url, kWithSecurityScopeCreation);
    recordsByPath[url] = BookmarkRecord{url, std::move(data)};
  }
  std::vector<BookmarkRecord> records;
  records.reserve(recordsByPath.size());
  for (auto& [path, record] : recordsByPath) records.push_back(std::move(record));
  saveRecords(records);
}

void SecurityScopedFolderAccessManager::unregisterFolder(const std::string& path) {
  std::lock_guard guard(lock_);
  const auto paths = pathsToRelease(canonicalFolderPath(path));
  auto records = loadRecords();
  std::erase_if(records, [&](const BookmarkRecord& record) {
    return std::find(paths.begin(), paths.end(), canonicalFolderPath(record.path)) != paths.end();
  });
  for (const auto& released : paths) releaseAccess(released);
  saveRecords(records);
}

void SecurityScopedFolderAccessManager::reauthorizeFolder(const std::string& selectedURL,
                                                          const std::string& path) {
  std::lock_guard guard(lock_);
  const std::string selected = canonicalFolderPath(selectedURL);
  const std::string expected = canonicalFolderPath(path);
  if (selected != expected) throw FolderAccessManagerError::reauthorizationPathMismatch(expected, selected);
  if (!text::isValidUTF8(selected)) throw FolderAccessManagerError::folderPathNotStorable();
  auto data = functions_.createBookmarkData(selected, kWithSecurityScopeCreation);
  const auto paths = pathsToRelease(expected);
  for (const auto& released : paths) releaseAccess(released);
  startAccessIfNeeded(selected);
  auto records = loadRecords();
  std::erase_if(records, [&](const BookmarkRecord& record) {
    return std::find(paths.begin(), paths.end(), canonicalFolderPath(record.path)) != paths.end();
  });
  records.push_back(BookmarkRecord{selected, std::move(data)});
  std::stable_sort(records.begin(), records.end(),
                   [](const BookmarkRecord& a, const BookmarkRecord& b) { return a.path < b.path; });
  saveRecords(records);
}

std::vector<std::string> SecurityScopedFolderAccessManager::formerFolderPaths() {
  std::lock_guard guard(lock_);
  return formerFolderPaths_;
}

void SecurityScopedFolderAccessManager::forgetFormerFolderPaths(const std::vector<std::string>& paths) {
  std::lock_guard guard(lock_);
  std::erase_if(formerFolderPaths_, [&](const std::string& path) {
    return std::find(paths.begin(), paths.end(), path) != paths.end();
  });
}

std::vector<SecurityScopedFolderAccessManager::Evaluation> SecurityScopedFolderAccessManager::evaluateAll() {
  const auto records = loadRecords();
  std::vector<Evaluation> evaluations;
  evaluations.reserve(records.size());
  bool changed = false;
  for (const auto& record : records) {
    evaluations.push_back(evaluate(record));
    changed = changed || !(evaluations.back().record == record);
  }
  if (changed) {
    std::vector<BookmarkRecord> refreshed;
    refreshed.reserve(evaluations.size());
    for (const auto& evaluation : evaluations) refreshed.push_back(evaluation.record);
    saveRecords(refreshed);
  }
  return evaluations;
}

SecurityScopedFolderAccessManager::Evaluation SecurityScopedFolderAccessManager::evaluate(
    const BookmarkRecord& record) {
  const std::string registered = canonicalFolderPath(record.path);
  if (const auto active = activeAccessByPath_.find(registered);
      active != activeAccessByPath_.end() && functions_.isExistingDirectory(active->second.url)) {
    const std::string url = active->second.url;
    auto evaluation = buildAccess(record, url, false);
    trackMove(registered, url, evaluation.access.state);
    return evaluation;
  }

  std::optional<ResolvedBookmark> resolved;
  ++bookmarkResolutionCount_;
  try {
    resolved = functions_.resolveBookmark(record.bookmarkData, kWithSecurityScopeResolution);
  } catch (...) {
    report(FolderAccessDiagnosticOperation::bookmarkResolution, record.path, std::current_exception());
    ++bookmarkResolutionCount_;
    try {
      resolved = functions_.resolveBookmark(record.bookmarkData, kWithSecurityScopeResolution);
    } catch (...) {
      const auto error = std::current_exception();
      report(FolderAccessDiagnosticOperation::bookmarkResolution, record.path, error);
      return Evaluation{
          RegisteredFolderAccess{record.path, std::nullopt, RegisteredFolderAccessState::bookmarkInvalid,
                                 describe(error), ErrorNotice{ErrorNoticeKind::folderBookmarkInvalid, {}}},
          record};
    }
  }
  const std::string url = canonicalFolderPath(resolved->url);
  auto evaluation = buildAccess(record, url, resolved->isStale);
  trackMove(registered, url, evaluation.access.state);
  if (url != registered && std::find(formerFolderPaths_.begin(), formerFolderPaths_.end(), registered) ==
                               formerFolderPaths_.end()) {
    formerFolderPaths_.push_back(registered);
  }
  return evaluation;
}

SecurityScopedFolderAccessManager::Evaluation SecurityScopedFolderAccessManager::buildAccess(
    const BookmarkRecord& record, const std::string& url, bool isStale) {
  Evaluation evaluation{RegisteredFolderAccess{url, std::nullopt, RegisteredFolderAccessState::available,
                                               std::nullopt, std::nullopt},
                        record};
  if (canonicalFolderPath(record.path) != url || isStale) {
    try {
      evaluation.record = BookmarkRecord{url, functions_.createBookmarkData(url, kWithSecurityScopeCreation)};
    } catch (...) {
      // The old record still finds the folder the next time; a fresh one is only an improvement.
      platform::logDebug("FolderAccess",
                         "Refreshing a folder bookmark failed: " + describe(std::current_exception()));
    }
  }
  auto& access = evaluation.access;
  const auto deny = [&](RegisteredFolderAccessState state, std::string message, ErrorNoticeKind notice,
                        std::string detail = {}) {
    access.state = state;
    access.lastError = std::move(message);
    access.lastErrorNotice = ErrorNotice{notice, {}, std::move(detail)};
  };
  if (!startAccessIfNeeded(url)) {
    deny(RegisteredFolderAccessState::accessDenied, kAccessDeniedMessage,
         ErrorNoticeKind::folderAccessDenied);
    return evaluation;
  }
  if (!functions_.isExistingDirectory(url)) {
    deny(RegisteredFolderAccessState::missing, kMissingMessage, ErrorNoticeKind::folderMissing);
    return evaluation;
  }
  try {
    if (functions_.readabilityProvider(url)) {
      access.url = url;
      return evaluation;
    }
  } catch (...) {
    report(FolderAccessDiagnosticOperation::readabilityCheck, record.path, std::current_exception());
  }
  try {
    if (functions_.readabilityProvider(url)) {
      access.url = url;
    } else {
      deny(RegisteredFolderAccessState::accessDenied, kUnreadableMessage, ErrorNoticeKind::folderUnreadable,
           platform::errorNumberName(EACCES));
    }
  } catch (...) {
    const auto error = std::current_exception();
    report(FolderAccessDiagnosticOperation::readabilityCheck, record.path, error);
    deny(RegisteredFolderAccessState::accessDenied, describe(error),
         errorNotice(error).kind == ErrorNoticeKind::permissionDenied ? ErrorNoticeKind::folderAccessDenied
                                                                      : ErrorNoticeKind::folderUnreadable,
         platform::errorNumberName(errorNumberOf(error)));
  }
  return evaluation;
}

void SecurityScopedFolderAccessManager::trackMove(const std::string& registeredPath,
                                                  const std::string& location,
                                                  RegisteredFolderAccessState state) {
  const bool available = state == RegisteredFolderAccessState::available;
  if (registeredPath != location) {
    std::set<std::string> sources;
    if (auto node = pendingMoveSourcePathsByDestinationPath_.extract(registeredPath))
      sources = std::move(node.mapped());
    sources.insert(registeredPath);
    sources.erase(location);
    if (available) {
      for (const auto& source : sources) releaseAccess(source);
    } else {
      pendingMoveSourcePathsByDestinationPath_[location].merge(sources);
    }
  }
  if (available) {
    if (auto node = pendingMoveSourcePathsByDestinationPath_.extract(location)) {
      for (const auto& source : node.mapped()) {
        if (source != location) releaseAccess(source);
      }
    }
  }
}

std::vector<SecurityScopedFolderAccessManager::BookmarkRecord>
SecurityScopedFolderAccessManager::loadRecords() {
  const auto data = userDefaults_.data(key_);
  if (!data) {
    isStoredDataUndecodable_ = false;
    return {};
  }
  try {
    auto records = decodeRecords(*data);
    isStoredDataUndecodable_ = false;
    return records;
  } catch (...) {
    if (isStoredDataUndecodable_) return {};
    isStoredDataUndecodable_ = true;
    keepUndecodableValue(*data);
    report(FolderAccessDiagnosticOperation::storedBookmarksDecoding, key_, std::current_exception());
    return {};
  }
}

void SecurityScopedFolderAccessManager::keepUndecodableValue(const BookmarkData& bytes) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string backupKey = key_ + ".undecodable";
    if (attempt > 0) backupKey += "." + std::to_string(attempt);
    const auto existing = userDefaults_.object(backupKey);
    if (existing) {
      const auto* kept = std::get_if<platform::SettingsValue::Data>(&existing->value);
      if (kept != nullptr && *kept == bytes) return;  // kept at an earlier launch
      continue;
    }
    userDefaults_.setData(backupKey, bytes);
    platform::logError("FolderAccess",
                       "The stored folder list could not be read; its bytes are kept under \"" + backupKey +
                           "\" and the folders must be registered again");
    return;
  }
}

void SecurityScopedFolderAccessManager::saveRecords(const std::vector<BookmarkRecord>& records) {
  std::string json;
  try {
    json = encodeRecords(records);
  } catch (const std::exception& error) {
    platform::logError("FolderAccess", std::string("The folder list could not be encoded: ") + error.what());
    return;
  }
  userDefaults_.setData(key_, BookmarkData(json.begin(), json.end()));
}

bool SecurityScopedFolderAccessManager::startAccessIfNeeded(const std::string& url) {
  if (activeAccessByPath_.contains(url)) return true;
  if (!functions_.startAccessingSecurityScopedResource(url)) return false;
  activeAccessByPath_[url] = ActiveAccess{url, true};
  return true;
}

void SecurityScopedFolderAccessManager::releaseAccess(const std::string& path) {
  auto node = activeAccessByPath_.extract(path);
  if (node && node.mapped().didStart) functions_.stopAccessingSecurityScopedResource(node.mapped().url);
}

std::vector<std::string> SecurityScopedFolderAccessManager::pathsToRelease(const std::string& canonicalPath) {
  std::vector<std::string> paths{canonicalPath};
  if (auto node = pendingMoveSourcePathsByDestinationPath_.extract(canonicalPath)) {
    for (const auto& source : node.mapped()) {
      if (source != canonicalPath) paths.push_back(source);
    }
  }
  return paths;
}

void SecurityScopedFolderAccessManager::report(FolderAccessDiagnosticOperation operation,
                                               const std::string& registeredPath,
                                               const std::exception_ptr& error) {
  if (!diagnosticsSink_) return;
  const auto details = folderAccessErrorDetails(error);
  diagnosticsSink_->record(FolderAccessDiagnostic{operation, registeredPath, details.domain, details.code,
                                                  details.hasPath, bookmarkResolutionCount_});
}

std::string SecurityScopedFolderAccessManager::encodeRecords(const std::vector<BookmarkRecord>& records) {
  Json array = Json::array();
  for (const auto& record : records) {
    array.push_back(
        Json{{"path", record.path}, {"bookmarkData", platform::base64Encode(record.bookmarkData)}});
  }
  const std::string compact = array.dump();  // throws on text that is not UTF-8
  // Slashes are escaped, as the list has always been written; "/" occurs only inside strings.
  std::string escaped;
  escaped.reserve(compact.size() + compact.size() / 8);
  for (const char c : compact) {
    if (c == '/') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::vector<SecurityScopedFolderAccessManager::BookmarkRecord>
SecurityScopedFolderAccessManager::decodeRecords(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!platform::jsonNestingWithin(text, kMaxNesting)) {
    throw StoredBookmarksError(DecodingKind::dataCorrupted, "The stored folder list nests too deeply");
  }
  const Json json = Json::parse(text, nullptr, false);
  if (json.is_discarded())
    throw StoredBookmarksError(DecodingKind::dataCorrupted, "The data is not valid JSON");
  if (!json.is_array())
    throw StoredBookmarksError(DecodingKind::typeMismatch, "Expected an array of folders");
  std::vector<BookmarkRecord> records;
  records.reserve(json.size());
  for (const auto& element : json) {
    if (!element.is_object())
      throw StoredBookmarksError(DecodingKind::typeMismatch, "Expected a folder object");
    auto path = member(element, "path").get<std::string>();
    auto data = platform::base64Decode(member(element, "bookmarkData").get_ref<const std::string&>());
    if (!data) throw StoredBookmarksError(DecodingKind::dataCorrupted, "Bookmark data is not valid Base64");
    records.push_back(BookmarkRecord{std::move(path), std::move(*data)});
  }
  return records;
}

}  // namespace lorvex
