#include "ui/sidebar/filter_sidebar.h"

#include <QFrame>
#include <QScrollArea>
#include <QVBoxLayout>

#include "store/context/store_context.h"
#include "store/library/library_model.h"
#include "store/trash/trash_model.h"
#include "ui/common/plain_text.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/ui_roles.h"
#include "ui/sidebar/filter_section.h"
#include "ui/sidebar/library_section.h"
#include "ui/sidebar/sidebar_dialogs.h"
#include "ui/sidebar/sidebar_error_presentation.h"
#include "ui/sidebar/sidebar_widget_helpers.h"

namespace lorvex::ui {

FilterSidebar::FilterSidebar(FilterSidebarModels models, ViewResourceDisplay resourceDisplay,
                             std::function<void()> showFolderImporter,
                             std::function<void(const std::string& path)> reauthorizeFolder,
                             FilterSidebarFactories factories, const AppLocalization& localizer,
                             QWidget* parent)
    : QWidget(parent),
      library_(models.library),
      trash_(models.trash),
      context_(models.context),
      resourceDisplay_(std::move(resourceDisplay)),
      localizer_(localizer),
      requests_(FilterSidebarOperations{
                    [this] { return library_.isLibrarySyncInProgress(); },
                    [this](const std::string& path) {
                      startLibraryTask([path](LibraryModel& l) { return l.unregisterFolder(path); });
                    },
                    [this](const std::string& path) {
                      startLibraryTask([path](LibraryModel& l) -> QCoro::Task<void> {
                        co_await l.syncRegisteredFolder(path);
                      });
                    },
                    [this] {
                      startLibraryTask(
                          [](LibraryModel& l) -> QCoro::Task<void> { co_await l.syncRegisteredFolders(); });
                    },
                    reauthorizeFolder,
                },
                [this] { dialogs_->followRequests(); }) {
  setObjectName("sidebar");
  setMinimumWidth(kMinimumWidth);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  scrollArea_ = new QScrollArea(this);
  scrollArea_->setObjectName("sidebar.scroll");
  scrollArea_->setWidgetResizable(true);
  scrollArea_->setFrameShape(QFrame::NoFrame);
  scrollArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(scrollArea_);
  content->setObjectName("sidebar.content");
  auto* layout = new QVBoxLayout(content);
  layout->setContentsMargins(12, 8, 12, 8);
  layout->setSpacing(kSidebarSectionSpacing);
  librarySection_ =
      new LibrarySection(models.library, models.results, models.presentation, requests_, resourceDisplay_,
                         std::move(showFolderImporter), std::move(reauthorizeFolder), localizer_, content);
  layout->addWidget(librarySection_);
  filterSection_ = new FilterSection(
      FilterSectionModels{models.filters, models.results, models.presentation, models.suggestions,
                          models.concepts, models.projections, models.context},
      std::move(factories.tagConceptManagement), localizer_, content);
  layout->addWidget(filterSection_);
  error_ = makeSidebarCaptionLine("sidebar.error", ColorRole::red, content);
  layout->addWidget(error_);
  layout->addStretch(1);
  scrollArea_->setWidget(content);
  root->addWidget(scrollArea_, 1);
  if (factories.trashToolbar) {
    QWidget* toolbar = factories.trashToolbar(
        models.context, models.library,
        [&context = models.context, &trash = models.trash] {
          // The flow may outlive the sidebar, never the models.
          context.startDetached([trash = &trash] { return trash->presentDeleteCandidateTrashReview(); });
        },
        this);
    if (toolbar) root->addWidget(toolbar);
  }
  dialogs_ = new SidebarDialogs(SidebarDialogModels{models.library, models.trash, models.results,
                                                    models.presentation, models.projections},
                                requests_, std::move(factories.trashReviewSheet), resourceDisplay_,
                                localizer_, *this);
  const auto schedule = [this] { errorSoon_.schedule(); };
  connect(&context_, &StoreContext::errorMessageChanged, this, schedule);
  connect(&trash_, &TrashModel::lastTrashSummaryChanged, this, schedule);
  applyStoreState();
}

FilterSidebar::~FilterSidebar() {
  // The sections go first, their popovers with them, while the requests they use are still here;
  // nothing of the models reaches the sidebar while it goes.
  disconnect(&context_, nullptr, this, nullptr);
  disconnect(&trash_, nullptr, this, nullptr);
  delete filterSection_;
  delete librarySection_;
}

QMessageBox* FilterSidebar::unregisterDialog() const {
  return dialogs_->unregisterDialog();
}
QMessageBox* FilterSidebar::syncDialog() const {
  return dialogs_->syncDialog();
}
ScanFailureDiagnosticsSheet* FilterSidebar::scanFailureSheet() const {
  return dialogs_->scanFailureSheet();
}
QDialog* FilterSidebar::trashReviewSheet() const {
  return dialogs_->trashReviewSheet();
}
FilterTagAdditionPanel* FilterSidebar::tagPopover() const {
  return filterSection_->tagPopover();
}
ModelSelectionPanel* FilterSidebar::modelPopover() const {
  return filterSection_->modelPopover();
}

QSize FilterSidebar::sizeHint() const {
  return {kIdealWidth, QWidget::sizeHint().height()};
}

void FilterSidebar::startLibraryTask(std::function<QCoro::Task<void>(LibraryModel&)> work) {
  // The flow may outlive the sidebar, never the model.
  context_.startDetached([library = &library_, work = std::move(work)] { return work(*library); });
}

void FilterSidebar::applyStoreState() {
  librarySection_->applyStoreState();
  filterSection_->applyStoreState();
  updateError();
  dialogs_->updateScanFailureSheet();
}

void FilterSidebar::updateError() {
  errorSoon_.cancel();
  const SidebarErrorPresentation presentation{context_.errorMessage(), trash_.lastTrashSummary(),
                                              resourceDisplay_, context_.errorNotice()};
  const std::optional<std::string> message = presentation.message(localizer_);
  error_->setVisible(message.has_value());
  error_->setText(message ? qtText(*message) : QString());
}

}  // namespace lorvex::ui
