#include "platform/trash.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/log.h"
#include "platform/regular_file.h"

namespace lorvex::platform {
namespace {

constexpr std::string_view kTrashInfoSuffix = ".trashinfo";
constexpr int kMaximumNameAttempts = 10000;

// Which mounted file system an item is on. rename(2) works only within one mount, so the mount
// id is compared where the kernel reports it (a bind mount has the device of its source).
struct MountIdentity {
  std::uint64_t device = 0;
  std::uint64_t mountID = 0;
  bool hasMountID = false;

  bool sameMountAs(const MountIdentity& other) const {
    if (hasMountID && other.hasMountID) return mountID == other.mountID;
    return device == other.device;
  }
};

std::optional<MountIdentity> mountIdentity(const std::string& path, int* errorNumber = nullptr) {
  struct statx info {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &info) != 0) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return std::nullopt;
  }
  MountIdentity identity;
  identity.device = (static_cast<std::uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
  identity.hasMountID = (info.stx_mask & STATX_MNT_ID) != 0;
  identity.mountID = identity.hasMountID ? info.stx_mnt_id : 0;
  return identity;
}

[[noreturn]] void throwTrashUnavailable(std::string_view action, int errorNumber) {
  throw TrashUnavailableError(std::string(action) + ": " + errorNumberText(errorNumber), errorNumber);
}

std::string parentOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string joined(const std::string& folder, std::string_view name) {
  std::string result = folder;
  if (result.empty() || result.back() != '/') result += '/';
  result.append(name);
  return result;
}

std::string realPath(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  if (!resolved) throwFileError("Unable to move the item to the Trash", errno);
  return resolved.get();
}

// A directory at `path` that is really a directory (not a link to one, unless `linkAllowed`),
// created with 0700 when absent. Returns 0 or an errno value.
int ensurePrivateDirectory(const std::string& path, bool linkAllowed = false) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat info {};
  if ((linkAllowed ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  return 0;
}

// Creates every missing folder of `path` (0700, as data folders of a user should be).
int ensureDirectoryChain(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  const std::string parent = parentOf(path);
  if (parent != path) {
    if (const int error = ensureDirectoryChain(parent); error != 0) return error;
  }
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  return 0;
}

// `trashMayBeLink`: the home trash is the user's own, and people move it to another disk with a
// link; a shared file system's trash folder must never be a link.
int ensureTrashFolders(const std::string& trash, bool trashMayBeLink = false) {
  if (const int error = ensurePrivateDirectory(trash, trashMayBeLink); error != 0) return error;
  if (const int error = ensurePrivateDirectory(joined(trash, "files")); error != 0) return error;
  return ensurePrivateDirectory(joined(trash, "info"));
}

// A private trash folder that this user owns (the checks the Trash layout asks of
// "$topdir/.Trash-$uid" and "$topdir/.Trash/$uid").
int ensureOwnedTrash(const std::string& trash, uid_t uid) {
  if (const int error = ensurePrivateDirectory(trash); error != 0) return error;
  struct stat info {};
  if (::lstat(trash.c_str(), &info) != 0) return errno;
  if (info.st_uid != uid) return EPERM;
  return ensureTrashFolders(trash);
}

std::size_t utf8SafePrefixLength(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t length = limit;
  // Never end inside a multi-byte sequence: back off over continuation bytes and their lead.
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return length;
}

// "photo.png", then "photo.2.png", "photo.3.png", …, shortened so that the info file's name
// stays within NAME_MAX.
std::string candidateName(const std::string& name, int attempt) {
  const std::size_t maximum = NAME_MAX - kTrashInfoSuffix.size();
  std::string_view stem = name;
  std::string_view extension;
  if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0) {
    stem = std::string_view(name).substr(0, dot);
    extension = std::string_view(name).substr(dot);
  }
  const std::string counter = attempt == 1 ? std::string() : "." + std::to_string(attempt);
  if (stem.size() + counter.size() + extension.size() > maximum) {
    if (extension.size() + counter.size() >= maximum) extension = {};
    const std::size_t room = maximum - counter.size() - extension.size();
    stem = stem.substr(0, utf8SafePrefixLength(stem, room));
  }
  std::string candidate(stem);
  candidate.append(counter).append(extension);
  return candidate;
}

void writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      throwTrashUnavailable("Unable to write the Trash information file", errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

int fsyncRetrying(int fd) {
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// Syncs the folder itself, so that a name created in it is on the disk. Returns 0 or an errno value.
int syncFolder(const std::string& folder, const std::function<int(int)>& sync) {
  int fd;
  do {
    fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  const int error = sync(fd);
  ::close(fd);
  return error;
}

// Creates "<name>.trashinfo" exclusively, writes it and syncs it and its folder: the item is
// renamed into the trash only once its info file is sure to survive a crash. Returns false when
// the name is taken; throws TrashUnavailableError (leaving no info file) on any failure: a Trash
// that cannot record an item cannot take one, whichever item it is.
bool createInfoFile(const std::string& infoPath, const std::string& contents,
                    const std::function<int(int)>& sync) {
  int fd;
  do {
    fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throwTrashUnavailable("Unable to create the Trash information file", errno);
  }
  try {
    writeAll(fd, contents);
  } catch (...) {
    ::close(fd);
    ::unlink(infoPath.c_str());
    throw;
  }
  const int syncError = sync(fd);
  if (::close(fd) != 0 || syncError != 0) {
    const int error = syncError != 0 ? syncError : errno;
    ::unlink(infoPath.c_str());
    throwTrashUnavailable("Unable to write the Trash information file", error);
  }
  if (const int error = syncFolder(parentOf(infoPath), sync); error != 0) {
    ::unlink(infoPath.c_str());
    throwTrashUnavailable("Unable to write the Trash information file", error);
  }
  return true;
}

// ---- records of running moves -----------------------------------------------------------------

constexpr std::string_view kLogCategory = "Trash";
constexpr std::string_view kRecordSuffix = ".pending";
constexpr std::string_view kRecordHeader = "lorvex-trash-move 1\n";
// A record holds two paths and an info file's text: anything longer is not one of ours.
constexpr std::size_t kMaximumRecordSize = 64 * 1024;

int flockRetrying(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

// Each field as its length in decimal, a line feed, its bytes and a line feed: paths may hold any
// byte but NUL, line feeds included.
std::string encodeRecord(const std::vector<std::string_view>& fields) {
  std::string record(kRecordHeader);
  for (const std::string_view field : fields) {
    record += std::to_string(field.size());
    record += '\n';
    record += field;
    record += '\n';
  }
  return record;
}

std::optional<std::vector<std::string>> decodeRecord(std::string_view record, std::size_t fieldCount) {
  if (!record.starts_with(kRecordHeader)) return std::nullopt;
  record.remove_prefix(kRecordHeader.size());
  std::vector<std::string> fields;
  while (fields.size() < fieldCount) {
    const auto lineEnd = record.find('\n');
    if (lineEnd == std::string_view::npos || lineEnd == 0 || lineEnd > 6) return std::nullopt;
    std::size_t length = 0;
    for (const char digit : record.substr(0, lineEnd)) {
      if (digit < '0' || digit > '9') return std::nullopt;
      length = length * 10 + static_cast<std::size_t>(digit - '0');
    }
    record.remove_prefix(lineEnd + 1);
    if (record.size() < length + 1 || record[length] != '\n') return std::nullopt;
    fields.emplace_back(record.substr(0, length));
    record.remove_prefix(length + 1);
  }
  if (!record.empty()) return std::nullopt;
  return fields;
}

// Reads the whole of a small file; nothing when it cannot be read or is larger than `limit`.
std::optional<std::string> readSmallFile(int fd, std::size_t limit) {
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t count = ::read(fd, buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (count == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(count));
    if (bytes.size() > limit) return std::nullopt;
  }
}

// The record of one running move, in the pending-moves folder: created under the folder's shared
// lock and locked exclusively before the lock is let go, written before each info file the move
// creates, removed when the move ends. Keeping a record is a help for a later clean-up, never a
// condition of the move: when it cannot be kept the move goes on without one (logged).
class PendingMoveRecord {
 public:
  explicit PendingMoveRecord(const std::string& directory) {
    if (directory.empty()) return;
    if (const int error = ensureDirectoryChain(directory); error != 0) {
      giveUp("Unable to create the folder of Trash move records", error);
      return;
    }
    const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
      giveUp("Unable to open the folder of Trash move records", errno);
      return;
    }
    if (const int error = flockRetrying(folder, LOCK_SH); error != 0) {
      ::close(folder);
      giveUp("Unable to lock the folder of Trash move records", error);
      return;
    }
    std::string pattern = joined(directory, "move-XXXXXX") + std::string(kRecordSuffix);
    fd_ = ::mkostemps(pattern.data(), static_cast<int>(kRecordSuffix.size()), O_CLOEXEC);
    if (fd_ < 0) {
      const int error = errno;
      ::close(folder);
      giveUp("Unable to create a Trash move record", error);
      return;
    }
    path_ = pattern;
    const int lockError = flockRetrying(fd_, LOCK_EX);
    ::close(folder);  // lets the shared lock go
    if (lockError != 0) {
      discard();
      giveUp("Unable to lock a Trash move record", lockError);
    }
  }

  ~PendingMoveRecord() { discard(); }

  PendingMoveRecord(const PendingMoveRecord&) = delete;
  PendingMoveRecord& operator=(const PendingMoveRecord&) = delete;

  // Names the info file about to be created, the place its item will take and the info file's
  // bytes. Written over the record's earlier contents: at most one info file of this move exists
  // at a time, the one the record names last.
  void write(const std::string& infoPath, const std::string& itemPath, const std::string& contents) {
    if (fd_ < 0) return;
    const std::string record = encodeRecord({infoPath, itemPath, contents});
    std::size_t written = 0;
    while (written < record.size()) {
      const ssize_t count =
          ::pwrite(fd_, record.data() + written, record.size() - written, static_cast<off_t>(written));
      if (count < 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        discard();
        giveUp("Unable to write a Trash move record", error);
        return;
      }
      written += static_cast<std::size_t>(count);
    }
    if (::ftruncate(fd_, static_cast<off_t>(record.size())) != 0) {
      const int error = errno;
      discard();
      giveUp("Unable to write a Trash move record", error);
    }
  }

 private:
  void discard() {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
    if (fd_ >= 0) ::close(fd_);  // after the unlink: the lock covers the record as long as it is listed
    fd_ = -1;
  }

  static void giveUp(std::string_view action, int error) {
    char text[256];
    logError(kLogCategory, std::string(action) +
                               " (the move goes on without one): " + ::strerror_r(error, text, sizeof text));
  }

  std::string path_;
  int fd_ = -1;
};

enum class OrphanCheck { handled, removed, unreachable };

// Removes the info file a killed move recorded, when it is an orphan of ours: still there with
// exactly the recorded bytes, and nothing at its item's place.
OrphanCheck removeRecordedOrphan(const std::string& infoPath, const std::string& itemPath,
                                 const std::string& contents) {
  struct stat info {};
  if (::lstat(itemPath.c_str(), &info) == 0) return OrphanCheck::handled;  // the item did arrive
  if (errno != ENOENT && errno != ENOTDIR) return OrphanCheck::unreachable;
  int fd;
  do {
    fd = ::open(infoPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno != ENOENT) return OrphanCheck::unreachable;
    // Gone, or on a disk that is not mounted now: only the info folder tells them apart.
    return ::lstat(parentOf(infoPath).c_str(), &info) == 0 ? OrphanCheck::handled : OrphanCheck::unreachable;
  }
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::size_t>(info.st_size) == contents.size()) {
    bytes = readSmallFile(fd, contents.size());
  }
  ::close(fd);
  if (!bytes || *bytes != contents) return OrphanCheck::handled;  // not the file this move wrote
  if (::unlink(infoPath.c_str()) != 0)
    return errno == ENOENT ? OrphanCheck::handled : OrphanCheck::unreachable;
  return OrphanCheck::removed;
}

std::string homeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd entry {};
  struct passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return "/";
}

}  // namespace

int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // The file system cannot refuse to replace: the exclusive info file already reserves the name,
  // so checking that nothing stands there is enough.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  if (::rename(from.c_str(), to.c_str()) != 0) return errno;
  return 0;
}

TrashEnvironment defaultTrashEnvironment() {
  TrashEnvironment environment;
  std::string dataHome;
  if (const char* value = std::getenv("XDG_DATA_HOME"); value != nullptr && value[0] == '/') {
    dataHome = value;
  } else {
    dataHome = joined(homeDirectory(), ".local/share");
  }
  environment.homeTrashDirectory = joined(dataHome, "Trash");
  environment.uid = ::getuid();
  environment.rename = renameWithoutReplacing;
  environment.sync = fsyncRetrying;
  environment.clock = &systemClock();
  return environment;
}

FreedesktopTrash::FreedesktopTrash(TrashEnvironment environment) : environment_(std::move(environment)) {
  if (!environment_.rename) environment_.rename = renameWithoutReplacing;
  if (!environment_.sync) environment_.sync = fsyncRetrying;
  if (environment_.clock == nullptr) environment_.clock = &systemClock();
}

std::string FreedesktopTrash::topDirectoryTrash(const std::string& topdir) const {
  const std::string uid = std::to_string(environment_.uid);
  const std::string shared = joined(topdir, ".Trash");
  struct stat info {};
  if (::lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) {
    const std::string own = joined(shared, uid);
    if (ensureOwnedTrash(own, environment_.uid) == 0) return own;
  }
  const std::string own = joined(topdir, ".Trash-" + uid);
  if (const int error = ensureOwnedTrash(own, environment_.uid); error != 0) {
    throwTrashUnavailable("Unable to use a Trash folder on the item's file system", error);
  }
  return own;
}

std::string FreedesktopTrash::moveToTrash(const std::string& givenPath) const {
  std::string path = givenPath;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!path.empty() && path.front() != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) throwFileError("Unable to move the item to the Trash", errno);
    path = joined(cwd, path);
  }
  const auto slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (path.empty() || name.empty() || name == "." || name == "..") {
    throwFileError("Unable to move the item to the Trash", EINVAL);
  }

  struct stat itemInfo {};
  if (::lstat(path.c_str(), &itemInfo) != 0) throwFileError("Unable to move the item to the Trash", errno);
  removeOrphanedInfoFiles();

  // The parent with its links resolved: the item lives on the parent's mount.
  const std::string parent = realPath(parentOf(path));
  const std::string location = joined(parent, name);
  int error = 0;
  const auto itemMount = mountIdentity(parent, &error);
  if (!itemMount) throwFileError("Unable to move the item to the Trash", error);

  std::string trash;
  std::string infoPathValue;
  // The home trash may not exist yet: its nearest existing folder tells which mount it will be on.
  std::string homeProbe = environment_.homeTrashDirectory;
  std::optional<MountIdentity> homeMount;
  while (!(homeMount = mountIdentity(homeProbe)) && homeProbe != "/" && homeProbe != ".") {
    homeProbe = parentOf(homeProbe);
  }
  if (homeMount && homeMount->sameMountAs(*itemMount)) {
    if (const int chainError = ensureDirectoryChain(environment_.homeTrashDirectory); chainError != 0) {
      throwTrashUnavailable("Unable to create the Trash folder", chainError);
    }
    if (const int folderError = ensureTrashFolders(environment_.homeTrashDirectory, true); folderError != 0) {
      throwTrashUnavailable("Unable to create the Trash folder", folderError);
    }
    trash = environment_.homeTrashDirectory;
    infoPathValue = location;
  } else {
    // The top of the item's mount: climb while the parent folder is on the same mount.
    std::string topdir = parent;
    while (topdir != "/") {
      const std::string up = parentOf(topdir);
      const auto upMount = mountIdentity(up);
      if (!upMount || !upMount->sameMountAs(*itemMount)) break;
      topdir = up;
    }
    trash = topDirectoryTrash(topdir);
    // Paths in a top-directory trash are relative to the top directory, so the trash still
    // restores correctly when the volume is mounted elsewhere.
    infoPathValue = topdir == "/" ? location.substr(1) : location.substr(topdir.size() + 1);
  }

  const std::string contents = "[Trash Info]\nPath=" + escapeTrashInfoPath(infoPathValue) +
                               "\nDeletionDate=" + trashInfoDeletionDate(environment_.clock->now()) + "\n";
  const std::string infoFolder = joined(trash, "info");
  const std::string filesFolder = joined(trash, "files");
  PendingMoveRecord record(environment_.pendingMovesDirectory);
  for (int attempt = 1; attempt <= kMaximumNameAttempts; ++attempt) {
    const std::string candidate = candidateName(name, attempt);
    const std::string infoPath = joined(infoFolder, candidate + std::string(kTrashInfoSuffix));
    const std::string target = joined(filesFolder, candidate);
    record.write(infoPath, target, contents);
    if (!createInfoFile(infoPath, contents, environment_.sync)) continue;
    const int renameError = environment_.rename(location, target);
    if (renameError == 0) return target;
    ::unlink(infoPath.c_str());
    if (renameError == EEXIST || renameError == ENOTEMPTY) continue;  // a stray file holds the name
    if (renameError == EXDEV) {
      throwTrashUnavailable(
          "Unable to move the item to the Trash without copying it (the Trash folder is on "
          "another mount)",
          renameError);
    }
    throwFileError("Unable to move the item to the Trash", renameError);
  }
  throwFileError("Unable to find a free name in the Trash", EEXIST);
}

std::size_t FreedesktopTrash::removeOrphanedInfoFiles() const {
  const std::string& directory = environment_.pendingMovesDirectory;
  if (directory.empty()) return 0;
  const int folder = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) {
    if (errno != ENOENT)
      logError(kLogCategory, "Unable to open the folder of Trash move records: " + directory);
    return 0;
  }
  // Held while records are examined: a move creates its record under the shared lock and locks it
  // before letting go, so every record seen here is either locked by its move or left by one.
  // A move creating its record now makes this a call for later.
  if (flockRetrying(folder, LOCK_EX | LOCK_NB) != 0) {
    ::close(folder);
    return 0;
  }
  std::vector<std::string> names;
  if (DIR* listing = ::fdopendir(::dup(folder)); listing != nullptr) {
    while (const dirent* entry = ::readdir(listing)) {
      const std::string_view name = entry->d_name;
      if (name.size() > kRecordSuffix.size() && name.ends_with(kRecordSuffix)) names.emplace_back(name);
    }
    ::closedir(listing);
  }
  std::size_t removed = 0;
  for (const std::string& name : names) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    if (flockRetrying(fd, LOCK_EX | LOCK_NB) != 0) {  // its move is running
      ::close(fd);
      continue;
    }
    OrphanCheck check = OrphanCheck::handled;
    // A record that cannot be read as one was cut short before its move created anything.
    if (const auto bytes = readSmallFile(fd, kMaximumRecordSize)) {
      if (const auto fields = decodeRecord(*bytes, 3)) {
        check = removeRecordedOrphan((*fields)[0], (*fields)[1], (*fields)[2]);
        if (check == OrphanCheck::removed) {
          ++removed;
          logInfo(kLogCategory, "Removed the Trash information file of an interrupted move: " + (*fields)[0]);
        }
      }
    }
    if (check != OrphanCheck::unreachable) ::unlinkat(folder, name.c_str(), 0);
    ::close(fd);
  }
  ::close(folder);
  return removed;
}

std::string escapeTrashInfoPath(const std::string& path) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  static constexpr std::string_view kUnreserved = "-_.!~*'()/";
  std::string escaped;
  escaped.reserve(path.size());
  for (const char character : path) {
    const auto byte = static_cast<unsigned char>(character);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || kUnreserved.find(character) != std::string_view::npos;
    if (plain) {
      escaped += character;
    } else {
      escaped += '%';
      escaped += kDigits[byte >> 4];
      escaped += kDigits[byte & 0x0f];
    }
  }
  return escaped;
}

std::string trashInfoDeletionDate(double secondsSince1970) {
  const auto seconds = static_cast<std::time_t>(std::floor(secondsSince1970));
  struct tm local {};
  ::localtime_r(&seconds, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace lorvex::platform
