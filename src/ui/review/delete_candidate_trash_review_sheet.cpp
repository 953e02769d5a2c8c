#include "ui/review/delete_candidate_trash_review_sheet.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/trash/trash_model.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/load_more_results_indicator.h"
#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/review/delete_candidate_trash_review_presentation.h"
#include "ui/review/trash_review_candidate_grid.h"
#include "ui/review/trash_summary_view.h"

namespace lorvex::ui {

using Key = AppLocalizationKey;

namespace {

QFrame* makeDivider(QWidget* parent) {
  auto* divider = new QFrame(parent);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Plain);
  divider->setForegroundRole(QPalette::Mid);
  divider->setFixedHeight(1);
  return divider;
}

QLabel* makeLabel(QWidget* parent, FontRole font, ColorRole color, const char* objectName = nullptr) {
  QLabel* label = makePlainLabel({}, parent);
  label->setFont(roleFont(font));
  setForegroundColor(*label, roleColor(color, parent->palette()));
  if (objectName != nullptr) label->setObjectName(objectName);
  return label;
}

WrappedTextLabel* makeWrappedLabel(const QString& text, QWidget* parent, FontRole font, ColorRole color,
                                   const char* objectName = nullptr) {
  auto* label = new WrappedTextLabel(text, parent);
  label->setFont(roleFont(font));
  setForegroundColor(*label, roleColor(color, parent->palette()));
  if (objectName != nullptr) label->setObjectName(objectName);
  return label;
}

// A button named by the key of its title.
QPushButton* makeButton(Key key, const std::string& title, QWidget* parent) {
  auto* button = new QPushButton(mnemonicSafe(qtText(title)), parent);
  button->setObjectName(qtText(keyString(key)));
  button->setAutoDefault(false);
  return button;
}

QPushButton* makeButton(const AppLocalization& localizer, Key key, QWidget* parent) {
  return makeButton(key, localizer.lookup(key), parent);
}

constexpr int kReasonMaximumWidth = 190;

// A trash button with the caption that says why it is disabled.
QWidget* makeTrashColumn(QPushButton* button, QLabel* reason, QWidget* parent) {
  auto* column = new QWidget(parent);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(button, 0, Qt::AlignRight);
  reason->setWordWrap(true);
  reason->setAlignment(Qt::AlignRight | Qt::AlignTop);
  // Wrapped within its width, never cut: a reason that needs a third line in some language keeps it.
  reason->setFixedWidth(kReasonMaximumWidth);
  // A hidden reason keeps its room: the footer never shortens when a tile is selected, which
  // would lengthen the grid and move the tiles of a grid scrolled to its end under the pointer.
  QSizePolicy policy = reason->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  reason->setSizePolicy(policy);
  layout->addWidget(reason, 0, Qt::AlignRight);
  return column;
}

void applyTrashButton(QPushButton& button, QLabel& reason, bool enabled,
                      const std::optional<std::string>& reasonText) {
  button.setEnabled(enabled);
  const bool explains = !enabled && reasonText.has_value();
  setPlainToolTip(button, explains ? qtText(*reasonText) : QString());
  // Lines of even length, never a lone end of a sentence under a full line. A reason no longer
  // shown keeps its last text, so its room stays as tall.
  if (explains) showInEvenLines(reason, qtText(*reasonText), kReasonMaximumWidth);
  reason.setVisible(explains);
}

}  // namespace

DeleteCandidateTrashReviewSheet::DeleteCandidateTrashReviewSheet(DeleteCandidateTrashReviewModels models,
                                                                 ViewResourceDisplay resourceDisplay,
                                                                 QWidget* parent,
                                                                 const AppLocalization* localization,
                                                                 LocalImageLoader* loader)
    : QDialog(parent),
      trash_(&models.trash),
      presentation_(&models.presentation),
      resourceDisplay_(std::move(resourceDisplay)),
      localization_(localization != nullptr ? localization : &AppLocalization::live()) {
  setObjectName("deleteCandidateReview");
  setWindowModality(Qt::WindowModal);
  setMinimumSize(kMinimumWidth, kMinimumHeight);
  resize(kIdealWidth, kIdealHeight);
  const auto texts =
      DeleteCandidateTrashReviewPresentation::fromTrash(models.trash, *localization_, resourceDisplay_);
  setWindowTitle(qtText(texts.titleText()));

  // Built top to bottom: the order of creation is the order of keyboard focus.
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addLayout(buildHeader(texts));
  column->addWidget(makeDivider(this));
  column->addLayout(buildSelectionBar(texts));
  column->addWidget(buildCandidatePages(models, loader), 1);
  column->addWidget(buildSummarySection());
  column->addWidget(makeDivider(this));
  column->addLayout(buildFooter(texts));

  connectModels(models);
  refresh();
}

QHBoxLayout* DeleteCandidateTrashReviewSheet::buildHeader(
    const DeleteCandidateTrashReviewPresentation& texts) {
  const AppLocalization& localizer = *localization_;
  auto* header = new QHBoxLayout;
  header->setContentsMargins(20, 18, 20, 14);
  header->setSpacing(16);
  auto* titles = new QVBoxLayout;
  titles->setSpacing(6);
  auto* titleRow = new QHBoxLayout;
  titleRow->setSpacing(6);
  auto* titleIcon = new QLabel(this);
  titleIcon->setPixmap(symbolPixmap("trash", fontRolePixelSize(FontRole::title3) + 2,
                                    roleColor(ColorRole::primary, palette()), devicePixelRatioF()));
  titleRow->addWidget(titleIcon);
  QLabel* title = makePlainLabel(windowTitle(), this);
  title->setObjectName("deleteCandidateReview.title");
  title->setFont(roleFont(FontRole::title3, QFont::DemiBold));
  titleRow->addWidget(title);
  titleRow->addStretch(1);
  titles->addLayout(titleRow);
  auto* explanation = makeWrappedLabel(qtText(texts.explanationText()), this, FontRole::body,
                                       ColorRole::secondary, "deleteCandidateReview.explanation");
  titles->addWidget(explanation);
  header->addLayout(titles, 1);
  header->addSpacing(16);
  reload_ = makeButton(localizer, Key::commonReload, this);
  header->addWidget(reload_, 0, Qt::AlignTop);
  connect(reload_, &QPushButton::clicked, this, &DeleteCandidateTrashReviewSheet::reloadCandidates);
  return header;
}

QHBoxLayout* DeleteCandidateTrashReviewSheet::buildSelectionBar(
    const DeleteCandidateTrashReviewPresentation& texts) {
  const AppLocalization& localizer = *localization_;
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(20, 10, 20, 10);
  bar->setSpacing(12);
  loadedScope_ =
      makeLabel(this, FontRole::subheadline, ColorRole::secondary, "deleteCandidateReview.trashScope.loaded");
  selectedScope_ = makeLabel(this, FontRole::subheadline, ColorRole::secondary,
                             "deleteCandidateReview.trashScope.selected");
  bar->addWidget(loadedScope_);
  bar->addWidget(selectedScope_);
  busy_ = new BusyIndicator(BusyIndicator::Size::small, this);
  busy_->setObjectName("deleteCandidateReview.activity");
  bar->addWidget(busy_);
  movingProgress_ =
      makeLabel(this, FontRole::subheadline, ColorRole::secondary, "deleteCandidateReview.movingProgress");
  bar->addWidget(movingProgress_);
  bar->addStretch(1);
  bar->addSpacing(12);
  clearSelection_ = makeButton(localizer, Key::deleteCandidateReviewClearSelection, this);
  clearSelection_->setFont(roleFont(FontRole::subheadline));
  connect(clearSelection_, &QPushButton::clicked, this, [this] {
    if (trash_ && !trash_->isTrashingDeleteCandidates()) trash_->trashReviewBrowser().setSelectedPaths({});
  });
  bar->addWidget(clearSelection_);
  QLabel* bulkScope =
      makeLabel(this, FontRole::caption, ColorRole::tertiary, "deleteCandidateReview.bulkActionScope");
  bulkScope->setText(qtText(texts.bulkActionScopeText()));
  bar->addWidget(bulkScope);
  selectLoaded_ = makeButton(Key::deleteCandidateReviewSelectLoaded, texts.selectLoadedTitle(), this);
  selectLoaded_->setFont(roleFont(FontRole::subheadline));
  connect(selectLoaded_, &QPushButton::clicked, this, [this] {
    if (trash_ && !trash_->isTrashingDeleteCandidates()) trash_->trashReviewBrowser().selectAllRecords();
  });
  bar->addWidget(selectLoaded_);
  return bar;
}

QStackedWidget* DeleteCandidateTrashReviewSheet::buildCandidatePages(
    const DeleteCandidateTrashReviewModels& models, LocalImageLoader* loader) {
  content_ = new QStackedWidget(this);
  content_->addWidget(buildLoadingPage());
  content_->addWidget(buildGridPage(models, loader));
  content_->addWidget(buildEmptyPage());
  return content_;
}

QWidget* DeleteCandidateTrashReviewSheet::buildLoadingPage() {
  loadingPage_ = new QWidget(content_);
  loadingPage_->setObjectName("deleteCandidateReview.loading");
  auto* loading = new QVBoxLayout(loadingPage_);
  loading->setSpacing(10);
  loading->addStretch(1);
  loading->addWidget(new BusyIndicator(BusyIndicator::Size::large, loadingPage_), 0, Qt::AlignHCenter);
  QLabel* searching = makeLabel(loadingPage_, FontRole::subheadline, ColorRole::secondary);
  searching->setText(qtText(localization_->lookup(Key::resultSearching)));
  loading->addWidget(searching, 0, Qt::AlignHCenter);
  loading->addStretch(1);
  return loadingPage_;
}

QWidget* DeleteCandidateTrashReviewSheet::buildGridPage(const DeleteCandidateTrashReviewModels& models,
                                                        LocalImageLoader* loader) {
  gridPage_ = new QWidget(content_);
  auto* gridColumn = new QVBoxLayout(gridPage_);
  gridColumn->setContentsMargins(0, 0, 0, 0);
  gridColumn->setSpacing(0);
  model_ = new TrashReviewCandidateModel(models.trash, models.results, resourceDisplay_, localization_,
                                         loader, this);
  grid_ = new TrashReviewCandidateGrid(*model_, gridPage_);
  grid_->setAccessibleName(qtText(localization_->lookup(Key::deleteCandidateReviewCandidateGrid)));
  gridColumn->addWidget(grid_, 1);
  // The last row of the scrolled tiles, as under the results grid.
  loadMore_ = new LoadMoreResultsIndicator(gridPage_, localization_);
  grid_->setFooter(loadMore_);
  return gridPage_;
}

QWidget* DeleteCandidateTrashReviewSheet::buildEmptyPage() {
  const AppLocalization& localizer = *localization_;
  emptyPage_ = new QWidget(content_);
  emptyPage_->setObjectName("deleteCandidateReview.empty");
  auto* empty = new QVBoxLayout(emptyPage_);
  empty->setSpacing(8);
  empty->addStretch(1);
  auto* emptyIcon = new QLabel(emptyPage_);
  emptyIcon->setPixmap(
      symbolPixmap("trash", 40, roleColor(ColorRole::secondary, palette()), devicePixelRatioF()));
  empty->addWidget(emptyIcon, 0, Qt::AlignHCenter);
  QLabel* emptyTitle =
      makePlainLabel(qtText(localizer.lookup(Key::resultEmptyDeleteCandidatesTitle)), emptyPage_);
  emptyTitle->setFont(roleFont(FontRole::title2, QFont::DemiBold));
  empty->addWidget(emptyTitle, 0, Qt::AlignHCenter);
  auto* emptyDescription =
      makeWrappedLabel(qtText(localizer.lookup(Key::resultEmptyDeleteCandidatesDescription)), emptyPage_,
                       FontRole::body, ColorRole::secondary);
  emptyDescription->setAlignment(Qt::AlignHCenter);
  empty->addWidget(emptyDescription);
  empty->addStretch(1);
  return emptyPage_;
}

QWidget* DeleteCandidateTrashReviewSheet::buildSummarySection() {
  summarySection_ = new QWidget(this);
  auto* summaryColumn = new QVBoxLayout(summarySection_);
  summaryColumn->setContentsMargins(0, 0, 0, 0);
  summaryColumn->setSpacing(0);
  summaryColumn->addWidget(makeDivider(summarySection_));
  summary_ = new TrashSummaryView(
      [this] { requestTrashConfirmation(DeleteCandidateTrashAction::retryFailed); }, summarySection_);
  summaryColumn->addWidget(summary_);
  return summarySection_;
}

QHBoxLayout* DeleteCandidateTrashReviewSheet::buildFooter(
    const DeleteCandidateTrashReviewPresentation& texts) {
  const AppLocalization& localizer = *localization_;
  auto* footer = new QHBoxLayout;
  footer->setContentsMargins(20, 20, 20, 20);
  footer->setSpacing(12);
  cancel_ = makeButton(localizer, Key::commonCancel, this);
  connect(cancel_, &QPushButton::clicked, this, &DeleteCandidateTrashReviewSheet::dismissReview);
  footer->addWidget(cancel_, 0, Qt::AlignTop);
  footer->addStretch(1);
  footer->addSpacing(16);
  footerSummary_ =
      makeLabel(this, FontRole::subheadline, ColorRole::secondary, "deleteCandidateReview.footerSummary");
  footerSummary_->setContentsMargins(0, 4, 0, 0);
  footer->addWidget(footerSummary_, 0, Qt::AlignTop);
  trashSelected_ =
      makeButton(Key::deleteCandidateReviewActionTrashSelected, texts.trashSelectedTitle(), this);
  trashSelected_->setIcon(symbolIcon("trash"));
  trashSelectedReason_ = makeLabel(this, FontRole::caption, ColorRole::secondary,
                                   "deleteCandidateReview.action.trashSelected.disabledReason");
  footer->addWidget(makeTrashColumn(trashSelected_, trashSelectedReason_, this), 0, Qt::AlignTop);
  trashLoaded_ = makeButton(Key::deleteCandidateReviewActionTrashLoaded, texts.trashLoadedTitle(), this);
  trashLoaded_->setIcon(symbolIcon("trash.fill"));
  trashLoadedReason_ = makeLabel(this, FontRole::caption, ColorRole::secondary,
                                 "deleteCandidateReview.action.trashLoaded.disabledReason");
  footer->addWidget(makeTrashColumn(trashLoaded_, trashLoadedReason_, this), 0, Qt::AlignTop);
  for (QPushButton* button : {trashSelected_, trashLoaded_}) {
    // Red while it can act; a disabled one looks like every disabled button.
    QPalette destructive = button->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
      destructive.setColor(group, QPalette::ButtonText, roleColor(ColorRole::red, palette()));
    }
    button->setPalette(destructive);
  }
  connect(trashSelected_, &QPushButton::clicked, this,
          [this] { requestTrashConfirmation(DeleteCandidateTrashAction::selected); });
  connect(trashLoaded_, &QPushButton::clicked, this,
          [this] { requestTrashConfirmation(DeleteCandidateTrashAction::loaded); });
  return footer;
}

void DeleteCandidateTrashReviewSheet::connectModels(const DeleteCandidateTrashReviewModels& models) {
  connect(&models.projections, &StoreProjections::derivedValuesChanged, this,
          &DeleteCandidateTrashReviewSheet::refresh);
  TrashCandidateBrowser& browser = models.trash.trashReviewBrowser();
  for (const auto changed :
       {&TrashCandidateBrowser::recordsChanged, &TrashCandidateBrowser::selectedPathsChanged,
        &TrashCandidateBrowser::hasMoreRecordsChanged, &TrashCandidateBrowser::isReloadingChanged,
        &TrashCandidateBrowser::isLoadingMoreChanged}) {
    connect(&browser, changed, this, &DeleteCandidateTrashReviewSheet::refresh);
  }
  for (const auto changed :
       {&TrashModel::isTrashingDeleteCandidatesChanged, &TrashModel::isWaitingForLibrarySyncChanged}) {
    connect(&models.trash, changed, this, &DeleteCandidateTrashReviewSheet::refresh);
  }
  connect(&models.trash, &TrashModel::lastTrashSummaryChanged, this,
          &DeleteCandidateTrashReviewSheet::refresh);
  connect(&models.presentation, &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged,
          this, [this] {
            // The review was closed outside the sheet (a filter change, a dismissal elsewhere): it
            // follows without closing it again.
            if (presentation_ && !presentation_->isDeleteCandidateTrashReviewPresented() && isVisible() &&
                !isClosing_) {
              cancelPendingTrashAction();
              QDialog::reject();
            }
          });
}

DeleteCandidateTrashReviewSheet::~DeleteCandidateTrashReviewSheet() = default;

void DeleteCandidateTrashReviewSheet::refresh() {
  if (!trash_) return;
  const TrashModel& trash = *trash_;
  const TrashCandidateBrowser& browser = trash.trashReviewBrowser();
  const auto presentation =
      DeleteCandidateTrashReviewPresentation::fromTrash(trash, *localization_, resourceDisplay_);
  const bool trashing = presentation.isTrashingDeleteCandidates;

  reload_->setEnabled(!browser.isReloading() && !trashing);
  loadedScope_->setText(qtText(presentation.loadedScopeText()));
  selectedScope_->setText(qtText(presentation.selectedScopeText()));
  busy_->setVisible(trashing || browser.isReloading());
  movingProgress_->setText(qtText(presentation.movingProgressText()));
  movingProgress_->setVisible(trashing);
  clearSelection_->setEnabled(presentation.selectedDeleteCandidateCount > 0 && !trashing);
  selectLoaded_->setEnabled(presentation.loadedDeleteCandidateCount > 0 && !trashing);

  if (isVisible()) showContentPage();
  loadMore_->setVisible(browser.hasMoreRecords() || browser.isLoadingMore());
  loadMore_->setLoading(browser.isLoadingMore());

  summarySection_->setVisible(presentation.lastTrashSummary.has_value());
  if (presentation.lastTrashSummary) {
    summary_->setSummary(
        TrashSummaryPresentation{*presentation.lastTrashSummary, *localization_, resourceDisplay_},
        TrashFailureRecoveryPresentation{*presentation.lastTrashSummary, *localization_, resourceDisplay_},
        trash.canRetryFailedTrash());
  }

  // While the move only waits for a scan, Cancel calls it off.
  cancel_->setEnabled(!trashing || presentation.isWaitingForLibrarySync);
  footerSummary_->setText(qtText(presentation.footerSummaryText()));
  applyTrashButton(*trashSelected_, *trashSelectedReason_, trash.canTrashSelectedTrashReviewRecords(),
                   presentation.trashSelectedDisabledReasonText());
  applyTrashButton(*trashLoaded_, *trashLoadedReason_, trash.canTrashLoadedTrashReviewRecords(),
                   presentation.trashLoadedDisabledReasonText());
  updateConfirmationMessage();
}

void DeleteCandidateTrashReviewSheet::showContentPage() {
  if (!trash_) return;
  const TrashCandidateBrowser& browser = trash_->trashReviewBrowser();
  if (browser.isReloading() && browser.records().empty()) {
    content_->setCurrentWidget(loadingPage_);
  } else if (!browser.records().empty()) {
    content_->setCurrentWidget(gridPage_);
  } else {
    content_->setCurrentWidget(emptyPage_);
  }
}

void DeleteCandidateTrashReviewSheet::showEvent(QShowEvent* event) {
  // A hidden sheet keeps its page: switching it would lay the new page out at a size it is never
  // shown at. The sheet is laid out by now, and the page is laid out once, as it shows.
  showContentPage();
  QDialog::showEvent(event);
}

void DeleteCandidateTrashReviewSheet::requestTrashConfirmation(DeleteCandidateTrashAction action) {
  if (!trash_) return;
  // Read now, not from the buttons' state: that may be a turn behind the model.
  bool allowed = false;
  switch (action) {
    case DeleteCandidateTrashAction::selected:
      allowed = trash_->canTrashSelectedTrashReviewRecords();
      break;
    case DeleteCandidateTrashAction::loaded:
      allowed = trash_->canTrashLoadedTrashReviewRecords();
      break;
    case DeleteCandidateTrashAction::retryFailed:
      allowed = trash_->canRetryFailedTrash();
      break;
  }
  if (!allowed) return;
  flow_.requestTrashConfirmation(action);
  showConfirmation();
}

void DeleteCandidateTrashReviewSheet::showConfirmation() {
  if (confirmation_ == nullptr) {
    const AppLocalization& localizer = *localization_;
    auto* box = new QMessageBox(this);
    box->setObjectName("deleteCandidateReview.confirmation");
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setTextFormat(Qt::PlainText);
    const QString title = qtText(localizer.lookup(Key::deleteCandidateReviewConfirmationTitle));
    box->setWindowTitle(title);
    keepMessageBoxReadable(*box);
    box->setText(title);
    QPushButton* destructive = box->addButton(
        mnemonicSafe(qtText(localizer.lookup(Key::deleteCandidateReviewConfirmationDestructiveAction))),
        QMessageBox::DestructiveRole);
    destructive->setObjectName("deleteCandidateReview.confirmation.destructiveAction");
    QPushButton* cancel =
        box->addButton(mnemonicSafe(qtText(localizer.lookup(Key::commonCancel))), QMessageBox::RejectRole);
    cancel->setObjectName("common.cancel");
    box->setDefaultButton(destructive);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // However the box ends, the flow ends with it: only the destructive button moves anything.
    connect(box, &QMessageBox::finished, this, [this, box, destructive] {
      if (box->clickedButton() == destructive) {
        confirmPendingTrashAction();
      } else {
        cancelPendingTrashAction();
      }
    });
    confirmation_ = box;
    updateConfirmationMessage();
    box->open();
  } else {
    updateConfirmationMessage();
    confirmation_->raise();
  }
}

void DeleteCandidateTrashReviewSheet::updateConfirmationMessage() {
  if (confirmation_ == nullptr || !trash_) return;
  setReadableInformativeText(
      *confirmation_, qtText(flow_.confirmationMessage(DeleteCandidateTrashActionCounts::fromTrash(*trash_),
                                                       *localization_)));
}

void DeleteCandidateTrashReviewSheet::confirmPendingTrashAction() {
  const std::optional<DeleteCandidateTrashAction> action = flow_.confirmPendingTrashAction();
  if (confirmation_ != nullptr && confirmation_->isVisible()) confirmation_->close();
  if (!action || !trash_) return;
  TrashModel* trash = trash_.data();
  const DeleteCandidateTrashAction confirmed = *action;
  trash->context().startDetached(
      [trash, confirmed] { return performDeleteCandidateTrashAction(*trash, confirmed); });
}

void DeleteCandidateTrashReviewSheet::cancelPendingTrashAction() {
  flow_.cancel();
  if (confirmation_ != nullptr && confirmation_->isVisible()) confirmation_->close();
}

void DeleteCandidateTrashReviewSheet::reloadCandidates() {
  if (!trash_ || trash_->trashReviewBrowser().isReloading() || trash_->isTrashingDeleteCandidates()) return;
  TrashModel* trash = trash_.data();
  trash->context().startDetached([trash] { return trash->reloadDeleteCandidateTrashReview(); });
}

void DeleteCandidateTrashReviewSheet::dismissReview() {
  if (isClosing_) return;
  const bool presented = trash_ && presentation_ && presentation_->isDeleteCandidateTrashReviewPresented();
  // Files are on their way to the Trash: the sheet stays to show the outcome. A move that still
  // waits for a scan has touched nothing: it is called off, and the review stays as it was.
  if (presented && trash_->isTrashingDeleteCandidates()) {
    if (trash_->isWaitingForLibrarySync()) trash_->cancelDeleteCandidateTrashWhileWaiting();
    return;
  }
  isClosing_ = true;
  cancelPendingTrashAction();
  if (presented) trash_->dismissDeleteCandidateTrashReview();
  if (isVisible()) QDialog::reject();
  isClosing_ = false;
}

void DeleteCandidateTrashReviewSheet::reject() {
  dismissReview();
}

QDialog* makeDeleteCandidateTrashReviewSheet(TrashModel& trash, ResultsModel& results,
                                             const ImageLibraryPresentationState& presentation,
                                             const StoreProjections& projections,
                                             const ViewResourceDisplay& resourceDisplay, QWidget* parent) {
  return new DeleteCandidateTrashReviewSheet({trash, results, presentation, projections}, resourceDisplay,
                                             parent);
}

}  // namespace lorvex::ui
