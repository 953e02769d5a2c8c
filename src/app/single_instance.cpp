#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <string>
#include <thread>

#include "platform/log.h"
#include "platform/regular_file.h"

namespace lorvex::app {

namespace {

constexpr std::string_view kLogCategory = "App";
const QByteArray kRaiseRequest = QByteArrayLiteral("raise\n");
const QByteArray kRaisedAnswer = QByteArrayLiteral("raised\n");
// A socket's path, with its terminating zero, must fit sockaddr_un's sun_path.
constexpr std::size_t kLongestSocketPath = sizeof(sockaddr_un::sun_path) - 1;
constexpr std::chrono::milliseconds kRetryInterval{50};
// A connection that has not asked for anything by then is dropped.
constexpr int kRequestTimeoutMs = 5000;

std::string baseName(const std::filesystem::path& libraryFolder) {
  const QByteArray path = QByteArray::fromStdString(libraryFolder.lexically_normal().string());
  const QByteArray key = QCryptographicHash::hash(path, QCryptographicHash::Sha256).toHex().left(16);
  return "lorvex-" + std::to_string(::getuid()) + "-" + key.toStdString();
}

int millisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::max<long long>(left.count(), 0));
}

}  // namespace

LocalSocketAddress::LocalSocketAddress(const std::filesystem::path& path)
    : name_(QString::fromStdString(path.string())) {
  if (path.string().size() <= kLongestSocketPath) return;
  folder_ = ::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  // Without the folder the long path stays, and listening or connecting reports it.
  if (folder_ >= 0) {
    name_ =
        QStringLiteral("/proc/self/fd/%1/").arg(folder_) + QString::fromStdString(path.filename().string());
  }
}

LocalSocketAddress::~LocalSocketAddress() {
  if (folder_ >= 0) ::close(folder_);
}

std::filesystem::path SingleInstance::defaultRendezvousFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code error;
  if (runtime != nullptr && runtime[0] == '/' && std::filesystem::is_directory(runtime, error))
    return runtime;
  return QDir::tempPath().toStdString();
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const std::filesystem::path& libraryFolder,
                                                      const std::filesystem::path& rendezvousFolder,
                                                      Patience patience) {
  const std::string name = baseName(libraryFolder);
  const std::string lockPath = (rendezvousFolder / (name + ".lock")).string();
  const QString serverName = QString::fromStdString((rendezvousFolder / (name + ".socket")).string());
  const auto releaseDeadline = std::chrono::steady_clock::now() + patience.release;
  for (;;) {
    std::optional<platform::ExclusiveFileLock> lock;
    try {
      if (auto taken = platform::ExclusiveFileLock::tryAcquire(lockPath)) lock.emplace(std::move(*taken));
    } catch (const platform::FileError& error) {
      // The library's own lock still keeps a second launch away from the library.
      platform::logError(
          kLogCategory,
          std::string("Cannot tell whether Lorvex already runs on this library: ") + error.what());
      return std::unique_ptr<SingleInstance>(new SingleInstance(Role::primary, serverName));
    }
    if (lock) {
      std::unique_ptr<SingleInstance> instance(new SingleInstance(Role::primary, serverName));
      instance->lock_.emplace(std::move(*lock));
      instance->listen();
      return instance;
    }
    // Taken: ask the holder.
    const auto answerDeadline = std::chrono::steady_clock::now() + patience.answer;
    const LocalSocketAddress address(serverName.toStdString());
    QLocalSocket socket;
    socket.connectToServer(address.name());
    if (socket.waitForConnected(millisecondsUntil(answerDeadline))) {
      socket.write(kRaiseRequest);
      QByteArray answer;
      while (answer.size() < kRaisedAnswer.size() &&
             socket.waitForReadyRead(millisecondsUntil(answerDeadline))) {
        answer += socket.readAll();
      }
      const bool raised = answer == kRaisedAnswer;
      if (!raised) platform::logError(kLogCategory, "The running Lorvex of this library did not answer");
      return std::unique_ptr<SingleInstance>(
          new SingleInstance(raised ? Role::raisedRunning : Role::runningUnreachable, serverName));
    }
    // Nobody listens: the holder is starting (it listens at once) or quitting (the lock frees
    // when its process ends).
    if (std::chrono::steady_clock::now() >= releaseDeadline) {
      platform::logError(kLogCategory, "The running Lorvex of this library cannot be reached at " +
                                           serverName.toStdString());
      return std::unique_ptr<SingleInstance>(new SingleInstance(Role::runningUnreachable, serverName));
    }
    std::this_thread::sleep_for(kRetryInterval);
  }
}

void SingleInstance::stopAnswering() {
  delete server_;
  server_ = nullptr;
}

SingleInstance::SingleInstance(Role role, QString serverName)
    : role_(role), serverName_(std::move(serverName)), address_(serverName_.toStdString()) {}

SingleInstance::~SingleInstance() {
  // The socket goes before the lock: the next launch, once it holds the lock, makes its own.
  stopAnswering();
}

bool SingleInstance::isListening() const {
  return server_ != nullptr && server_->isListening();
}

void SingleInstance::listen() {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // Holding the lock, this is the only launch: a socket file here was left by one that crashed.
  QLocalServer::removeServer(address_.name());
  if (!server_->listen(address_.name())) {
    platform::logError(kLogCategory,
                       "Later launches cannot reach this one: " + server_->errorString().toStdString());
    return;
  }
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
      QTimer::singleShot(kRequestTimeoutMs, socket, [socket] { socket->abort(); });
      if (socket->bytesAvailable() > 0) answer(socket);
    }
  });
}

void SingleInstance::answer(QLocalSocket* socket) {
  if (socket->bytesAvailable() < kRaiseRequest.size()) return;
  if (socket->read(kRaiseRequest.size()) != kRaiseRequest) {
    socket->abort();
    return;
  }
  platform::logInfo(kLogCategory, "Another launch on this library asked for the window");
  Q_EMIT raiseRequested();
  socket->write(kRaisedAnswer);
  socket->disconnectFromServer();
}

}  // namespace lorvex::app
