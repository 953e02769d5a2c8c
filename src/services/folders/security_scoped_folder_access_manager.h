// The one owner of the registered folders' bookmarks and of the running folder accesses.
//
// It keeps one bookmark per registered folder in the settings value "securityScopedFolderBookmarks"
// (a JSON array of {"path", "bookmarkData" (Base64)} objects, stored as data), resolves the
// bookmarks on every evaluation, follows folders that were renamed (the record is rewritten under
// the new path, and the access of the old location is released only once the new one is
// available), and reports each folder's state. Linux has no sandbox, so starting and stopping an
// access only keeps the books; the functions doing it stay injectable, as are bookmark creation
// and resolution and the readability check, so tests can drive every failure path.
//
// A stored list that cannot be decoded reads as empty, is reported once to the diagnostics sink,
// and its bytes are kept under "<key>.undecodable" (".1", ".2", … when taken) before anything is
// saved over it, so registrations made afterwards are saved and nothing is lost.
//
// Thread safety: every member may be called from any thread; one recursive lock is held for the
// whole of each call, and the injected functions and the sink are called with it held.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/settings.h"
#include "services/folders/folder_access_diagnostics.h"
#include "services/folders/folder_access_managing.h"

namespace lorvex {

// A plain folder access manager: Linux has no sandbox, so the "security scope" grants nothing.
class SecurityScopedFolderAccessManager final : public FolderAccessManaging {
 public:
  static constexpr std::string_view kBookmarksKey = "securityScopedFolderBookmarks";
  static constexpr std::uint64_t kWithSecurityScopeCreation = 2048;
  static constexpr std::uint64_t kWithSecurityScopeResolution = 1024;

  using BookmarkData = std::vector<std::uint8_t>;
  struct ResolvedBookmark {
    std::string url;
    bool isStale = false;
  };

  // The system calls the manager makes; each may be called from any thread and may throw.
  struct Functions {
    std::function<BookmarkData(const std::string& url, std::uint64_t options)> createBookmarkData;
    std::function<ResolvedBookmark(std::span<const std::uint8_t> data, std::uint64_t options)>
        resolveBookmark;
    std::function<bool(const std::string& url)> readabilityProvider;
    std::function<bool(const std::string& url)> startAccessingSecurityScopedResource;
    std::function<void(const std::string& url)> stopAccessingSecurityScopedResource;
    std::function<bool(const std::string& path)> isExistingDirectory;

    // The live functions: the bookmark codec, access(2) for reading and listing, no-op accesses.
    static Functions live();
  };

  struct BookmarkRecord {
    std::string path;
    BookmarkData bookmarkData;
    friend bool operator==(const BookmarkRecord&, const BookmarkRecord&) = default;
  };

  SecurityScopedFolderAccessManager(platform::Settings userDefaults, std::string key,
                                    std::shared_ptr<FolderAccessDiagnosticsSink> diagnosticsSink,
                                    Functions functions = Functions::live());
  // Stops every running access.
  ~SecurityScopedFolderAccessManager() override;
  SecurityScopedFolderAccessManager(const SecurityScopedFolderAccessManager&) = delete;
  SecurityScopedFolderAccessManager& operator=(const SecurityScopedFolderAccessManager&) = delete;

  std::vector<std::string> restoreAccess() override;
  std::vector<RegisteredFolderAccess> registeredFolderAccesses() override;
  void registerFolders(const std::vector<std::string>& urls) override;
  void unregisterFolder(const std::string& path) override;
  void reauthorizeFolder(const std::string& selectedURL, const std::string& path) override;
  std::vector<std::string> formerFolderPaths() override;
  void forgetFormerFolderPaths(const std::vector<std::string>& paths) override;

  // Number of bookmark resolution attempts since construction.
  std::uint64_t bookmarkResolutionCount() const;

  // The stored list's JSON text and its reading; exposed for tests of the stored format.
  static std::string encodeRecords(const std::vector<BookmarkRecord>& records);
  // Throws StoredBookmarksError.
  static std::vector<BookmarkRecord> decodeRecords(std::span<const std::uint8_t> json);

 private:
  struct ActiveAccess {
    std::string url;
    bool didStart = false;
  };
  struct Evaluation {
    RegisteredFolderAccess access;
    BookmarkRecord record;
  };

  std::vector<Evaluation> evaluateAll();
  Evaluation evaluate(const BookmarkRecord& record);
  Evaluation buildAccess(const BookmarkRecord& record, const std::string& url, bool isStale);
  void trackMove(const std::string& registeredPath, const std::string& location,
                 RegisteredFolderAccessState state);
  std::vector<BookmarkRecord> loadRecords();
  void saveRecords(const std::vector<BookmarkRecord>& records);
  void keepUndecodableValue(const BookmarkData& bytes);
  bool startAccessIfNeeded(const std::string& url);
  void releaseAccess(const std::string& path);
  std::vector<std::string> pathsToRelease(const std::string& canonicalPath);
  void report(FolderAccessDiagnosticOperation operation, const std::string& registeredPath,
              const std::exception_ptr& error);

  platform::Settings userDefaults_;
  const std::string key_;
  const std::shared_ptr<FolderAccessDiagnosticsSink> diagnosticsSink_;
  const Functions functions_;

  mutable std::recursive_mutex lock_;  // guards everything below
  std::map<std::string, ActiveAccess> activeAccessByPath_;
  std::map<std::string, std::set<std::string>> pendingMoveSourcePathsByDestinationPath_;
  std::vector<std::string> formerFolderPaths_;  // not yet forgotten, each once
  std::uint64_t bookmarkResolutionCount_ = 0;
  bool isStoredDataUndecodable_ = false;
};

}  // namespace lorvex
