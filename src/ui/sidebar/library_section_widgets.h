// The library section's widgets: the collapsible header with its "manage sources" menu, the
// summary line, and one row per registered folder with its menu (also its context menu). They take
// their values and actions from the sidebar and call no store operation themselves.
//
// Thread safety: the GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>

#include "model/registered_folder.h"
#include "ui/common/app_localization.h"
#include "ui/sidebar/library_actions_menu_model.h"
#include "ui/sidebar/library_sidebar_presentation.h"

class QLabel;
class QToolButton;

namespace lorvex::ui {

class BusyIndicator;
class ElidingLabel;
class EllipsisMenuButton;
class WrappedTextLabel;

class LibrarySectionHeader : public QWidget {
  Q_OBJECT

 public:
  LibrarySectionHeader(const AppLocalization& localizer, std::function<LibraryActionRules()> rules,
                       LibraryHeaderMenuActions actions, QWidget* parent = nullptr);
  void setExpanded(bool isExpanded);
  QToolButton* toggle() const { return toggle_; }

 Q_SIGNALS:
  // The toggle was clicked; the owner flips the store's flag, which comes back through setExpanded.
  void toggleRequested();

 private:
  const AppLocalization& localizer_;
  QToolButton* toggle_;
  EllipsisMenuButton* actions_;
  std::optional<bool> isExpanded_;
};

class LibrarySummaryRow : public QWidget {
  Q_OBJECT

 public:
  explicit LibrarySummaryRow(QWidget* parent = nullptr);
  void setSummary(const LibrarySidebarSummaryPresentation& summary);
  QString leadingText() const;
  QString trailingText() const;

 private:
  std::optional<LibrarySidebarSummaryPresentation> summary_;
  BusyIndicator* busy_;
  ElidingLabel* leading_;
  QLabel* trailing_;
};

class RegisteredFolderRow : public QWidget {
  Q_OBJECT

 public:
  // `menu` builds the row's entries each time its menu opens.
  RegisteredFolderRow(const std::string& path, std::function<std::vector<SidebarMenuEntry>()> menu,
                      const AppLocalization& localizer, QWidget* parent = nullptr);
  void setFolder(const RegisteredFolderSummary& summary,
                 const LibrarySidebarFolderRowPresentation& presentation);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void balanceNameAndStatus();

  std::optional<std::pair<RegisteredFolderSummary, LibrarySidebarFolderRowPresentation>> shown_;
  QWidget* textBlock_;
  QLabel* icon_;
  ElidingLabel* name_;
  ElidingLabel* status_;
  ElidingLabel* path_;
  WrappedTextLabel* error_;
  EllipsisMenuButton* actions_;
};

}  // namespace lorvex::ui
