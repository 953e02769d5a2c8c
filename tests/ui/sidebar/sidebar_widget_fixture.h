// A sidebar over a store on the scripted service, shown offscreen, with the echoing localizer and
// recorders for the folder picker and the file manager; the Trash toolbar, review sheet and
// concept page are simple stand-ins.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <memory>
#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"
#include "ui/sidebar/filter_sidebar.h"
#include "ui/support/recording_file_manager_revealer.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui::testing {

class SidebarWidgetTest : public WidgetTest {
 protected:
  void makeSidebar(lorvex::testing::StoreOptions options = {}) {
    sidebar.reset();
    settle();
    store = harness.makeStore(std::move(options));
    FilterSidebarFactories factories;
    factories.trashToolbar = [this](const StoreContext&, const LibraryModel&,
                                    std::function<void()> presentReview, QWidget* parent) {
      auto* button = new QPushButton("review", parent);
      button->setObjectName("test.trashToolbar");
      QObject::connect(button, &QPushButton::clicked, button, presentReview);
      return button;
    };
    factories.trashReviewSheet = [this](TrashModel&, ResultsModel&, const ImageLibraryPresentationState&,
                                        const StoreProjections&, const ViewResourceDisplay&,
                                        QWidget* parent) {
      ++reviewSheetsMade;
      auto* dialog = new QDialog(parent);
      dialog->setObjectName("test.trashReviewSheet");
      return dialog;
    };
    factories.tagConceptManagement = [this](TagConceptsModel&, std::vector<std::string> paths,
                                            QWidget* parent) {
      conceptPagePaths.push_back(paths);
      auto* page = new QLabel("concepts", parent);
      page->setObjectName("test.conceptPage");
      return page;
    };
    sidebar = std::make_unique<FilterSidebar>(
        filterSidebarModels(*store), ViewResourceDisplay{}, [this] { ++importerOpened; },
        [this](const std::string& path) { reauthorized.push_back(path); }, std::move(factories), localizer);
    sidebar->resize(300, 900);
    sidebar->show();
    QApplication::setActiveWindow(sidebar.get());
    settle();
  }

  void settle() {
    if (!store) return;
    harness.drainEvents();
    drainUiEvents();
    harness.drainEvents();
  }

  template <class T = QWidget>
  T* find(const QString& name) const {
    return findByName<T>(*sidebar, name);
  }

  // The entries of an ellipsis menu as "title:on/off", separators "-", section titles "[title]".
  static std::vector<std::string> menuItems(QMenu& menu) {
    Q_EMIT menu.aboutToShow();
    std::vector<std::string> items;
    for (QAction* action : menu.actions()) {
      if (action->isSeparator() && action->text().isEmpty()) {
        items.push_back("-");
      } else if (action->isSeparator()) {
        items.push_back("[" + action->text().toStdString() + "]");
      } else {
        items.push_back(action->text().toStdString() + (action->isEnabled() ? ":on" : ":off"));
      }
    }
    return items;
  }

  static QAction* menuAction(QMenu& menu, const std::string& title) {
    Q_EMIT menu.aboutToShow();
    for (QAction* action : menu.actions()) {
      if (action->text().toStdString() == title) return action;
    }
    return nullptr;
  }

  std::size_t callCount(const std::string& name) const { return harness.service->calls(name).size(); }

  static RegisteredFolderSummary folder(
      std::string path, RegisteredFolderAccessState state = RegisteredFolderAccessState::available) {
    return {path, path.substr(path.find_last_of('/') + 1), state, 3, 0, std::nullopt, std::nullopt};
  }

  void setFolders(std::vector<RegisteredFolderSummary> folders) {
    harness.service->setRegisteredFolderSummaries(folders);
    LibraryModelTestAccess::setRegisteredFolderSummaries(store->library(), std::move(folders));
    settle();
  }

  lorvex::testing::StoreHarness harness;
  AppLocalization localizer = echoLocalization();
  std::unique_ptr<ImageLibraryStore> store;
  int importerOpened = 0;
  int reviewSheetsMade = 0;
  std::vector<std::string> reauthorized;
  std::vector<std::vector<std::string>> conceptPagePaths;
  ScopedFileManagerRevealer revealer;
  std::unique_ptr<FilterSidebar> sidebar;
};

}  // namespace lorvex::ui::testing
