#include "database/internal/mapped_file_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <mutex>

namespace lorvex::mapped_file_guard {

namespace {

struct Slot {
  std::atomic<std::uint64_t> device{0};
  std::atomic<std::uint64_t> inode{0};
  std::atomic<int> uses{0};
};

// A few libraries open at once at the most (tests open several); a slot is never freed for
// another file while the handler might read it, only its use count drops to zero.
constexpr std::size_t kSlots = 64;
std::array<Slot, kSlots> slots;
std::mutex slotsMutex;  // guard and unguard only; the handler reads the atomics

struct sigaction previousAction {};
std::atomic<bool> installed = false;
long pageSize = 4096;

bool isGuarded(std::uint64_t device, std::uint64_t inode) {
  for (const auto& slot : slots) {
    if (slot.uses.load() > 0 && slot.device.load() == device && slot.inode.load() == inode) return true;
  }
  return false;
}

// Reads a hexadecimal or decimal number at `text`, moving past it.
std::uint64_t readNumber(const char*& text, int base) {
  std::uint64_t value = 0;
  for (;; ++text) {
    const char c = *text;
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (digit < 0) return value;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
  }
}

void skipField(const char*& text) {
  while (*text != '\0' && *text != ' ') ++text;
  while (*text == ' ') ++text;
}

// One line of /proc/self/maps: "start-end perms offset major:minor inode path". True when it
// covers `address` and maps a guarded file; `covers` says whether it covers the address at all.
bool lineMapsGuardedFile(const char* line, std::uintptr_t address, bool& covers) {
  const std::uint64_t start = readNumber(line, 16);
  if (*line++ != '-') return false;
  const std::uint64_t end = readNumber(line, 16);
  covers = address >= start && address < end;
  if (!covers) return false;
  while (*line == ' ') ++line;
  skipField(line);  // permissions
  skipField(line);  // offset
  const auto major = static_cast<unsigned>(readNumber(line, 16));
  if (*line++ != ':') return false;
  const auto minor = static_cast<unsigned>(readNumber(line, 16));
  while (*line == ' ') ++line;
  const std::uint64_t inode = readNumber(line, 10);
  return inode != 0 && isGuarded(static_cast<std::uint64_t>(makedev(major, minor)), inode);
}

// Finds the mapping that holds `address` with nothing but open, read and close (the handler may
// not allocate or take locks).
bool addressMapsGuardedFile(std::uintptr_t address) {
  const int file = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  std::array<char, 4096> chunk{};
  std::array<char, 256> line{};  // the fields needed come first; the rest of a long line is dropped
  std::size_t length = 0;
  bool found = false;
  bool done = false;
  while (!done) {
    const ssize_t count = ::read(file, chunk.data(), chunk.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    for (ssize_t i = 0; i < count && !done; ++i) {
      if (chunk[static_cast<std::size_t>(i)] != '\n') {
        if (length + 1 < line.size()) line[length++] = chunk[static_cast<std::size_t>(i)];
        continue;
      }
      line[length] = '\0';
      length = 0;
      bool covers = false;
      found = lineMapsGuardedFile(line.data(), address, covers);
      done = covers;
    }
  }
  ::close(file);
  return found;
}

void onBusError(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  if (info != nullptr && info->si_code == BUS_ADRERR) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    if (addressMapsGuardedFile(address)) {
      void* page = reinterpret_cast<void*>(address & ~static_cast<std::uintptr_t>(pageSize - 1));
      if (::mmap(page, static_cast<std::size_t>(pageSize), PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED,
                 -1, 0) != MAP_FAILED) {
        errno = savedErrno;
        return;  // the read is repeated and finds zeros
      }
    }
  }
  errno = savedErrno;
  if ((previousAction.sa_flags & SA_SIGINFO) != 0 && previousAction.sa_sigaction != nullptr) {
    previousAction.sa_sigaction(signal, info, context);
  } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN &&
             previousAction.sa_handler != nullptr) {
    previousAction.sa_handler(signal);
  } else {
    // As without this handler: the fault repeats on return and ends the process.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(SIGBUS, &fallback, nullptr);
  }
}

bool install() {
  if (installed.load()) return true;
  const long size = ::sysconf(_SC_PAGESIZE);
  if (size > 0) pageSize = size;
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  if (::sigaction(SIGBUS, &action, &previousAction) != 0) return false;
  installed = true;
  return true;
}

}  // namespace

std::optional<GuardedFile> guard(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  const GuardedFile file{static_cast<std::uint64_t>(status.st_dev),
                         static_cast<std::uint64_t>(status.st_ino)};
  std::lock_guard lock(slotsMutex);
  if (!install()) return std::nullopt;
  Slot* free = nullptr;
  for (auto& slot : slots) {
    if (slot.device.load() == file.device && slot.inode.load() == file.inode) {
      ++slot.uses;
      return file;
    }
    if (free == nullptr && slot.uses.load() == 0) free = &slot;
  }
  if (free == nullptr) return std::nullopt;
  free->device = file.device;
  free->inode = file.inode;
  free->uses = 1;
  return file;
}

void unguard(const GuardedFile& file) {
  std::lock_guard lock(slotsMutex);
  for (auto& slot : slots) {
    if (slot.uses.load() > 0 && slot.device.load() == file.device && slot.inode.load() == file.inode) {
      --slot.uses;
      return;
    }
  }
}

}  // namespace lorvex::mapped_file_guard
