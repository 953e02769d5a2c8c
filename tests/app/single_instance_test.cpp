// One window per library: what a launch finds in the rendezvous folder and what it does then,
// with real locks and local sockets; and the alert a launch shows when the running one is deaf.
#include "app/single_instance.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

#include "app/launch_alerts.h"
#include "platform/file_lock.h"
#include "support/temporary_folder.h"
#include "ui/common/app_localization.h"
#include "ui/common/localization_table.h"
#include "ui/common/phrase_line_breaks.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

using Role = SingleInstance::Role;
constexpr SingleInstance::Patience kShortPatience{std::chrono::milliseconds(400),
                                                  std::chrono::milliseconds(400)};

class SingleInstanceTest : public ui::testing::WidgetTest {
 protected:
  std::unique_ptr<SingleInstance> claim(const std::string& library, SingleInstance::Patience patience = {}) {
    return SingleInstance::claim(folder_.path() / library, runtime_, patience);
  }

  // A later launch, on another thread, while this one's event loop answers.
  Role claimElsewhere(const std::string& library) {
    auto later = std::async(std::launch::async, [&] { return claim(library)->role(); });
    while (later.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return later.get();
  }

  // The rendezvous folder: short, or so long that a socket's path in it passes sockaddr_un's limit.
  void useRuntime(bool longPath) {
    runtime_ = folder_.path() /
               (longPath ? "runtime-" + std::string(sizeof(sockaddr_un::sun_path), 'r') : "runtime");
    std::filesystem::create_directory(runtime_);
  }

  void SetUp() override { useRuntime(false); }

  testing::TemporaryFolder folder_;
  std::filesystem::path runtime_;
};

// A socket file as a process that crashed while listening leaves it: bound, nobody behind it.
void leaveDeadSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const LocalSocketAddress reachable(path.toStdString());
  const std::string name = reachable.name().toStdString();
  std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

std::string lockPathOf(const QString& socketPath) {
  std::string path = socketPath.toStdString();
  return path.replace(path.rfind(".socket"), 7, ".lock");
}

TEST_F(SingleInstanceTest, ALaterLaunchFindsTheRunningOneOrTakesItsPlace) {
  for (const bool longPath : {false, true}) {
    SCOPED_TRACE(longPath ? "long rendezvous path" : "short rendezvous path");
    useRuntime(longPath);
    // A launch that ended leaves nothing behind that stops the next.
    const QString socketPath = claim("library")->serverName();
    ASSERT_TRUE(socketPath.startsWith(QString::fromStdString(runtime_.string())));
    const std::string lockPath = lockPathOf(socketPath);

    struct Case {
      const char* name;
      // What the earlier launch left running; returns what keeps it so while the next one claims.
      std::function<std::shared_ptr<void>()> earlier;
      Role expected;
      SingleInstance::Patience patience = kShortPatience;
    };
    // Long enough for the quitting launch's thread to end on a loaded machine.
    constexpr SingleInstance::Patience kWaitForQuit{kShortPatience.answer, std::chrono::minutes(1)};
    const Case cases[] = {
        {"nothing runs", [] { return nullptr; }, Role::primary},
        {"a crashed launch left its socket",
         [&] {
           leaveDeadSocket(socketPath);
           return nullptr;
         },
         Role::primary},
        {"a launch runs without a socket",
         [&] {
           return std::make_shared<platform::ExclusiveFileLock>(
               *platform::ExclusiveFileLock::tryAcquire(lockPath));
         },
         Role::runningUnreachable},
        {"a launch quits while the next waits",
         [&] {
           auto quitting = std::make_shared<platform::ExclusiveFileLock>(
               *platform::ExclusiveFileLock::tryAcquire(lockPath));
           return std::shared_ptr<std::jthread>(new std::jthread([quitting]() mutable {
             std::this_thread::sleep_for(std::chrono::milliseconds(150));
             quitting.reset();
           }));
         },
         Role::primary, kWaitForQuit},
        {"a launch runs, hung: its socket takes the call but nothing answers",
         [&] {
           struct Hung {
             explicit Hung(platform::ExclusiveFileLock held) : lock(std::move(held)) {}
             platform::ExclusiveFileLock lock;
             QLocalServer server;
           };
           auto hung = std::make_shared<Hung>(*platform::ExclusiveFileLock::tryAcquire(lockPath));
           const LocalSocketAddress reachable(socketPath.toStdString());
           QLocalServer::removeServer(reachable.name());
           EXPECT_TRUE(hung->server.listen(reachable.name()));
           return hung;
         },
         Role::runningUnreachable},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      std::shared_ptr<void> earlier = c.earlier();
      std::unique_ptr<SingleInstance> instance = claim("library", c.patience);
      EXPECT_EQ(instance->role(), c.expected);
      if (c.expected != Role::primary) continue;

      // The primary listens on a socket only its user can reach, and raises its window for every
      // later launch on the library, which then leaves.
      ASSERT_TRUE(instance->isListening());
      struct stat info {};
      ASSERT_EQ(::stat(socketPath.toStdString().c_str(), &info), 0);
      EXPECT_EQ(info.st_mode & 077, 0u);
      int raises = 0;
      QObject::connect(instance.get(), &SingleInstance::raiseRequested, [&raises] { ++raises; });
      EXPECT_EQ(claimElsewhere("library"), Role::raisedRunning);
      EXPECT_EQ(claimElsewhere("library"), Role::raisedRunning);
      EXPECT_EQ(raises, 2);
      // Another library is another launch's to run.
      EXPECT_EQ(claim("other library")->role(), Role::primary);
    }
  }
}

TEST_F(SingleInstanceTest, TheUnreachableAlertSpeaksTheUIsLanguageAndCloses) {
  for (const char* language : {"en", "ja"}) {
    SCOPED_TRACE(language);
    const ui::AppLocalization localization =
        ui::AppLocalization::overTable(ui::bundledLocalizationTable(language), ".");
    QPointer<QMessageBox> alert = makeInstanceUnreachableAlert(localization);
    alert->open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(alert));
    EXPECT_EQ(alert->objectName(), "instanceUnreachableAlert");
    // The box lays its Japanese out with phrase joiners; what it says is the text without them.
    EXPECT_EQ(ui::withoutPhraseJoiners(alert->text()).toStdString(),
              localization.lookup(ui::AppLocalizationKey::appInstanceUnreachableTitle));
    EXPECT_EQ(ui::withoutPhraseJoiners(alert->informativeText()).toStdString(),
              localization.lookup(ui::AppLocalizationKey::appInstanceUnreachableMessage));
    auto* close = alert->findChild<QPushButton*>("common.close");
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->isVisible());
    EXPECT_GE(close->width(), close->sizeHint().width());
    QTest::mouseClick(close, Qt::LeftButton);
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alert.isNull());  // closed and gone
  }
}

}  // namespace
}  // namespace lorvex::app
