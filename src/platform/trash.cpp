#include "platform/trash.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/clock.h"
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
      throwFileError("Unable to write the Trash information file", errno);
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
// the name is taken; throws (leaving no info file) on any failure.
bool createInfoFile(const std::string& infoPath, const std::string& contents,
                    const std::function<int(int)>& sync) {
  int fd;
  do {
    fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    if (errno == EEXIST) return false;
    throwFileError("Unable to create the Trash information file", errno);
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
    throwFileError("Unable to write the Trash information file", error);
  }
  if (const int error = syncFolder(parentOf(infoPath), sync); error != 0) {
    ::unlink(infoPath.c_str());
    throwFileError("Unable to write the Trash information file", error);
  }
  return true;
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
    throwFileError("Unable to use a Trash folder on the item's file system", error);
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
      throwFileError("Unable to create the Trash folder", chainError);
    }
    if (const int folderError = ensureTrashFolders(environment_.homeTrashDirectory, true); folderError != 0) {
      throwFileError("Unable to create the Trash folder", folderError);
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
  for (int attempt = 1; attempt <= kMaximumNameAttempts; ++attempt) {
    const std::string candidate = candidateName(name, attempt);
    const std::string infoPath = joined(infoFolder, candidate + std::string(kTrashInfoSuffix));
    if (!createInfoFile(infoPath, contents, environment_.sync)) continue;
    const std::string target = joined(filesFolder, candidate);
    const int renameError = environment_.rename(location, target);
    if (renameError == 0) return target;
    ::unlink(infoPath.c_str());
    if (renameError == EEXIST || renameError == ENOTEMPTY) continue;  // a stray file holds the name
    if (renameError == EXDEV) {
      throwFileError(
          "Unable to move the item to the Trash without copying it (the Trash folder is on "
          "another mount)",
          renameError);
    }
    throwFileError("Unable to move the item to the Trash", renameError);
  }
  throwFileError("Unable to find a free name in the Trash", EEXIST);
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
