#include "ui/common/reveal_in_file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QUrl>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

namespace {

std::shared_ptr<FileManagerRevealing>& currentRevealer() {
  static std::shared_ptr<FileManagerRevealing> revealer = std::make_shared<FreedesktopFileManagerRevealer>();
  return revealer;
}

void openFolder(const std::string& folder) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(qtText(folder)))) {
    qWarning("reveal: cannot open %s", folder.c_str());
  }
}

}  // namespace

std::string revealFallbackFolder(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const auto slash = trimmed.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return trimmed.substr(0, slash);
}

void FreedesktopFileManagerRevealer::reveal(const std::string& path) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  const std::string fallback = revealFallbackFolder(path);
  if (!bus.isConnected()) {
    openFolder(fallback);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                     QStringLiteral("/org/freedesktop/FileManager1"),
                                                     QStringLiteral("org.freedesktop.FileManager1"),
                                                     QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(qtText(path)).toString()} << QString();
  // Asynchronous: a file manager that is slow to start must not freeze the window.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [fallback](QDBusPendingCallWatcher* finished) {
    if (finished->isError()) openFolder(fallback);
    finished->deleteLater();
  });
}

FileManagerRevealing& fileManagerRevealer() { return *currentRevealer(); }

std::shared_ptr<FileManagerRevealing> setFileManagerRevealer(std::shared_ptr<FileManagerRevealing> revealer) {
  if (!revealer) revealer = std::make_shared<FreedesktopFileManagerRevealer>();
  std::swap(currentRevealer(), revealer);
  return revealer;
}

void revealInFileManager(const std::string& path) { fileManagerRevealer().reveal(path); }

}  // namespace lorvex::ui
