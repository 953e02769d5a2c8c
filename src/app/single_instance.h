// One window per library. The first launch on a library holds an flock on
// "lorvex-<uid>-<key>.lock" in the rendezvous folder ($XDG_RUNTIME_DIR, or the temporary folder)
// and listens beside it on the local socket "lorvex-<uid>-<key>.socket", which only the user can
// reach; <key> names the library folder (the start of the SHA-256 of its path). A later launch on
// the same library finds the lock taken, asks over the socket for the window ("raise\n"), and on
// the answer ("raised\n") leaves without building anything, so it writes nothing.
//
// However long the rendezvous folder's path, the socket stays in it: a socket's path must fit
// sockaddr_un's 108 bytes, so a longer one is reached through a descriptor of its folder
// (LocalSocketAddress).
//
// The lock, not the socket, says whether a launch is running: the kernel drops it with its
// process however that ends, so a socket file left by a crash is taken for what it is and
// replaced. A running launch whose socket takes the call but does not answer in time (hung, or
// stopped) is reported as unreachable. One that holds the lock with no socket is starting or
// quitting (it stops answering when its event loop ends): the next launch waits for the lock
// a while longer, and takes it over once that process has ended.
//
// Thread safety: claim() blocks and may run on any thread; a primary SingleInstance lives on the
// thread that made it, answering through that thread's event loop.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/file_lock.h"

class QLocalServer;
class QLocalSocket;

namespace lorvex::app {

// The name to give QLocalServer and QLocalSocket for the socket at `path`: the path itself when
// it fits a socket address, else "/proc/self/fd/<n>/<file name>" through a descriptor of its
// folder that this object holds open, so the name is valid only while the object lives.
class LocalSocketAddress {
 public:
  explicit LocalSocketAddress(const std::filesystem::path& path);
  ~LocalSocketAddress();
  LocalSocketAddress(const LocalSocketAddress&) = delete;
  LocalSocketAddress& operator=(const LocalSocketAddress&) = delete;

  const QString& name() const { return name_; }

 private:
  int folder_ = -1;
  QString name_;
};

struct SingleInstancePatience {
  // For the answer of a launch whose socket took the call.
  std::chrono::milliseconds answer{1500};
  // For the lock of a launch that has no socket (starting or quitting).
  std::chrono::milliseconds release{5000};
};

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    primary,             // this launch runs the library (and answers later launches)
    raisedRunning,       // another launch runs it and has brought its window forward
    runningUnreachable,  // another launch runs it but did not answer
  };

  using Patience = SingleInstancePatience;

  // $XDG_RUNTIME_DIR when it is an absolute path to a folder, else the temporary folder.
  static std::filesystem::path defaultRendezvousFolder();

  static std::unique_ptr<SingleInstance> claim(
      const std::filesystem::path& libraryFolder,
      const std::filesystem::path& rendezvousFolder = defaultRendezvousFolder(), Patience patience = {});
  ~SingleInstance() override;

  Role role() const { return role_; }
  // The socket's path (reached through address_ when it is long).
  const QString& serverName() const { return serverName_; }
  // A primary that answers later launches (false when its socket could not be made).
  bool isListening() const;
  // Closes the socket (the lock stays until this object goes): for when the event loop has ended
  // and nothing would answer any more.
  void stopAnswering();

 Q_SIGNALS:
  // A later launch asks for the window; it is told "raised" once the connected slots return.
  void raiseRequested();

 private:
  SingleInstance(Role role, QString serverName);
  void listen();
  void answer(QLocalSocket* socket);

  Role role_;
  QString serverName_;
  LocalSocketAddress address_;
  std::optional<platform::ExclusiveFileLock> lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace lorvex::app
