#include "ui/sidebar/library_section.h"

#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/plain_text.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/sidebar/filter_sidebar_requests.h"
#include "ui/sidebar/library_recovery_notice_presentation.h"
#include "ui/sidebar/library_section_widgets.h"
#include "ui/sidebar/scan_failure_diagnostics_presentation.h"
#include "ui/sidebar/sidebar_menus.h"
#include "ui/sidebar/sidebar_widget_helpers.h"
#include "ui/sidebar/wrapping_link_button.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

}  // namespace

LibrarySection::LibrarySection(LibraryModel& library, const ResultsModel& results,
                               ImageLibraryPresentationState& presentation, FilterSidebarRequests& requests,
                               ViewResourceDisplay resourceDisplay, std::function<void()> showFolderImporter,
                               std::function<void(const std::string& path)> reauthorizeFolder,
                               const AppLocalization& localizer, QWidget* parent)
    : QWidget(parent),
      library_(library),
      results_(results),
      presentation_(presentation),
      requests_(requests),
      resourceDisplay_(std::move(resourceDisplay)),
      showFolderImporter_(std::move(showFolderImporter)),
      reauthorizeFolder_(std::move(reauthorizeFolder)),
      localizer_(localizer) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kSidebarSectionSpacing);
  header_ = new LibrarySectionHeader(
      localizer_,
      [this] {
        return LibraryActionRules::make(library_.registeredFolderSummaries(), results_.isLoading(),
                                        library_.isLibrarySyncInProgress());
      },
      LibraryHeaderMenuActions{
          [this] { requests_.requestSync(RegisteredFolderSyncRequest::all()); },
          [this] { showFolderImporter_(); },
          [this] {
            const auto& folders = library_.registeredFolderSummaries();
            if (folders.size() == 1) revealInFileManager(folders.front().path);
          },
          [this] {
            const auto& folders = library_.registeredFolderSummaries();
            requests_.requestUnregisterSingleFolder(folders.size() == 1 ? std::optional(folders.front().path)
                                                                        : std::nullopt);
          },
      },
      this);
  connect(header_, &LibrarySectionHeader::toggleRequested, this,
          [this] { presentation_.setIsLibrarySectionExpanded(!presentation_.isLibrarySectionExpanded()); });
  layout->addWidget(header_);

  body_ = new QWidget(this);
  auto* body = new QVBoxLayout(body_);
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(6);
  summaryRow_ = new LibrarySummaryRow(body_);
  body->addWidget(summaryRow_);
  addFolder_ = new QPushButton(symbolIcon("folder.badge.plus"),
                               mnemonicSafe(qtText(localizer_.lookup(Key::libraryAddFolder))), body_);
  addFolder_->setObjectName(qtText(accessibility_id::kSidebarLibraryAddFolder));
  addFolder_->setAutoDefault(false);
  addFolder_->setFocusPolicy(Qt::TabFocus);
  connect(addFolder_, &QPushButton::clicked, this, [this] { showFolderImporter_(); });
  body->addWidget(addFolder_, 0, Qt::AlignLeft);
  folderRowsLayout_ = new QVBoxLayout;
  folderRowsLayout_->setSpacing(0);
  body->addLayout(folderRowsLayout_);
  allowAccess_ = new QPushButton(symbolIcon("lock.open"),
                                 mnemonicSafe(qtText(localizer_.lookup(Key::libraryAllowAccess))), body_);
  allowAccess_->setObjectName("sidebar.library.allowAccess");
  allowAccess_->setAutoDefault(false);
  allowAccess_->setFocusPolicy(Qt::TabFocus);
  connect(allowAccess_, &QPushButton::clicked, this, [this] {
    if (repairPath_) reauthorizeFolder_(*repairPath_);
  });
  body->addWidget(allowAccess_, 0, Qt::AlignLeft);
  failedFiles_ = new WrappingLinkButton(body_);
  failedFiles_->setObjectName("sidebar.library.failedFiles");
  failedFiles_->setIcon(tintedSymbolIcon("exclamationmark.triangle", roleColor(ColorRole::red)));
  failedFiles_->setIconSize(QSize(12, 12));
  failedFiles_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*failedFiles_, roleColor(ColorRole::red));
  connect(failedFiles_, &QPushButton::clicked, this, [this] { requests_.presentScanFailureDiagnostics(); });
  body->addWidget(failedFiles_);
  layout->addWidget(body_);

  recoveryNotice_ = makeSidebarCaptionLine("sidebar.libraryRecoveryNotice", ColorRole::secondary, this);
  recoveryNotice_->setVisible(false);
  layout->addWidget(recoveryNotice_);

  const auto schedule = [this] { updateSoon_.schedule(); };
  connect(&results_, &ResultsModel::isLoadingChanged, this, schedule);
  for (const auto signal : {
           &LibraryModel::registeredFolderSummariesChanged,
           &LibraryModel::isLoadingRegisteredFoldersChanged,
           &LibraryModel::isCheckingRegisteredFoldersChanged,
           &LibraryModel::isLibrarySyncInProgressChanged,
           &LibraryModel::indexingProgressChanged,
           &LibraryModel::lastScanSummaryChanged,
           &LibraryModel::libraryRecoveryNoticeChanged,
       }) {
    connect(&library_, signal, this, schedule);
  }
  connect(&presentation_, &ImageLibraryPresentationState::isLibrarySectionExpandedChanged, this, schedule);
}

LibrarySection::~LibrarySection() {
  // Nothing of the models reaches the section while its rows go.
  for (const QObject* model : std::initializer_list<const QObject*>{&library_, &results_, &presentation_}) {
    disconnect(model, nullptr, this, nullptr);
  }
}

void LibrarySection::applyStoreState() {
  updateSoon_.cancel();
  const bool expanded = presentation_.isLibrarySectionExpanded();
  header_->setExpanded(expanded);
  body_->setVisible(expanded);
  const auto& folders = library_.registeredFolderSummaries();
  const auto presentation = LibrarySidebarPresentation::make(
      folders, library_.isCheckingRegisteredFolders(), library_.isLibrarySyncInProgress(),
      library_.indexingProgress(), localizer_, resourceDisplay_);
  const auto rules =
      LibraryActionRules::make(folders, results_.isLoading(), library_.isLibrarySyncInProgress());
  summaryRow_->setSummary(presentation.summary);
  addFolder_->setVisible(presentation.showsEmptyFolderPicker);
  addFolder_->setEnabled(rules.canAddFolder);

  std::vector<std::string> order;
  if (!presentation.showsEmptyFolderPicker) {
    for (std::size_t i = 0; i < folders.size(); ++i) {
      const RegisteredFolderSummary& folder = folders[i];
      if (folderRows_.count(folder.path) > 0) continue;
      const std::string path = folder.path;
      folderRows_[path] = new RegisteredFolderRow(
          path,
          [this, path] {
            const auto& all = library_.registeredFolderSummaries();
            const auto it =
                std::find_if(all.begin(), all.end(), [&](const auto& f) { return f.path == path; });
            if (it == all.end()) return std::vector<SidebarMenuEntry>{};
            const auto now =
                LibraryActionRules::make(all, results_.isLoading(), library_.isLibrarySyncInProgress());
            return makeRegisteredFolderMenu(
                *it, now.canSyncRegisteredFolders, now.canModifyRegisteredFolders,
                RegisteredFolderMenuActions{
                    [this, path] { requests_.requestSync(RegisteredFolderSyncRequest::folder(path)); },
                    [path] { revealInFileManager(path); },
                    [this, path] { reauthorizeFolder_(path); },
                    [this, path] { requests_.requestUnregister(path); },
                },
                localizer_);
          },
          localizer_, body_);
    }
    for (const RegisteredFolderSummary& folder : folders) order.push_back(folder.path);
  }
  removeRowsNotIn(*folderRowsLayout_, folderRows_, order);
  placeInOrder(*folderRowsLayout_, folderRowOrder_, order, folderRows_);
  for (std::size_t i = 0; i < order.size(); ++i) {
    folderRows_.at(order[i])->setFolder(folders[i], presentation.folderRows[i]);
  }

  repairPath_ = presentation.primaryRepairFolderPath;
  allowAccess_->setVisible(repairPath_.has_value());
  const auto& scan = library_.lastScanSummary();
  const std::int64_t failed = scan ? scan->failedFileCount : 0;
  failedFiles_->setVisible(failed >= 1);
  if (failed >= 1) {
    failedFiles_->setTitle(
        qtText(ScanFailureDiagnosticsPresentation::makeFailureCountText(*scan, localizer_)));
  }
  updateRecoveryNotice();
}

void LibrarySection::updateRecoveryNotice() {
  const auto& notice = library_.libraryRecoveryNotice();
  recoveryNotice_->setVisible(notice.has_value());
  recoveryNotice_->setText(notice ? qtText(libraryRecoveryNoticeText(*notice, localizer_)) : QString());
}

}  // namespace lorvex::ui
