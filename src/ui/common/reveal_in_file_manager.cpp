#include "ui/common/reveal_in_file_manager.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "model/text/paths.h"
#include "ui/common/app_localization.h"
#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"

namespace lorvex::ui {

namespace {

std::shared_ptr<FileManagerRevealing>& currentRevealer() {
  static std::shared_ptr<FileManagerRevealing> revealer = std::make_shared<FreedesktopFileManagerRevealer>();
  return revealer;
}

bool openWithDesktop(const std::string& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(qtText(folder)));
}

// The item's name; "/" names itself.
std::string shownName(const std::string& path) {
  const std::string_view name = text::lastPathComponent(path);
  return name.empty() ? path : std::string(name);
}

// The folder holding the item opened by whatever handles folders; the person is told when nothing does.
void openFallback(const std::string& path, const std::function<bool(const std::string&)>& openFolder,
                  const AppLocalization& localization) {
  const std::string folder = revealFallbackFolder(path);
  if (openFolder(folder)) return;
  qWarning("reveal: nothing opened %s", folder.c_str());
  showRevealFailure(path, localization);
}

}  // namespace

void showRevealFailure(const std::string& path, const AppLocalization& localization) {
  QWidget* parent = QApplication::activeWindow();
  auto* box = new QMessageBox(parent);
  box->setObjectName(QStringLiteral("revealFailure"));
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setIcon(QMessageBox::Warning);
  box->setTextFormat(Qt::PlainText);
  const QString title = qtText(localization.lookup("platform.reveal.failed.title"));
  box->setWindowTitle(title);
  keepMessageBoxReadable(*box);
  box->setText(title);  // a window manager may not show a dialog's title
  box->setInformativeText(qtText(localization.lookup("platform.reveal.failed.message", {shownName(path)})));
  box->setStandardButtons(QMessageBox::Ok);
  box->setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::NonModal);
  box->open();
}

FreedesktopFileManagerRevealer::FreedesktopFileManagerRevealer(
    std::function<bool(const std::string&)> openFolder, const AppLocalization* localization)
    : openFolder_(openFolder ? std::move(openFolder)
                             : std::function<bool(const std::string&)>(&openWithDesktop)),
      localization_(localization != nullptr ? *localization : AppLocalization::live()) {}

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
  if (!bus.isConnected()) {
    openFallback(path, openFolder_, localization_);
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(qtText(path)).toString()} << QString();
  // Asynchronous: a file manager that is slow to start must not freeze the window.
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), nullptr);
  // The answer may come after this revealer was replaced: it keeps what it needs.
  QObject::connect(
      watcher, &QDBusPendingCallWatcher::finished,
      [path, open = openFolder_, &localization = localization_](QDBusPendingCallWatcher* finished) {
        if (finished->isError()) openFallback(path, open, localization);
        finished->deleteLater();
      });
}

FileManagerRevealing& fileManagerRevealer() {
  return *currentRevealer();
}

std::shared_ptr<FileManagerRevealing> setFileManagerRevealer(std::shared_ptr<FileManagerRevealing> revealer) {
  if (!revealer) revealer = std::make_shared<FreedesktopFileManagerRevealer>();
  std::swap(currentRevealer(), revealer);
  return revealer;
}

void revealInFileManager(const std::string& path) {
  fileManagerRevealer().reveal(path);
}

}  // namespace lorvex::ui
