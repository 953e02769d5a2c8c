#include "ui/sidebar/filter_sidebar.h"

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <unordered_set>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "store/results/results_model.h"
#include "store/trash/trash_model.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/readable_message_box.h"
#include "ui/common/reveal_in_file_manager.h"
#include "ui/common/selectable_wrapped_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/sidebar/filter_row_button.h"
#include "ui/sidebar/library_recovery_notice_presentation.h"
#include "ui/sidebar/library_section_widgets.h"
#include "ui/sidebar/scan_failure_sheet.h"
#include "ui/sidebar/sidebar_error_presentation.h"
#include "ui/sidebar/sidebar_menus.h"
#include "ui/sidebar/sidebar_widget_helpers.h"
#include "ui/sidebar/suggestion_popovers.h"
#include "ui/sidebar/wrapping_link_button.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

constexpr std::array<ImageAspectFilter, 3> kAspects = {
    ImageAspectFilter::portrait, ImageAspectFilter::landscape, ImageAspectFilter::square};

QLabel* sectionHeader(const QString& title, QWidget* parent) {
  auto* label = makePlainLabel(title, parent);
  label->setFont(roleFont(FontRole::headline, QFont::DemiBold));
  label->setContentsMargins(0, 4, 0, 0);
  return label;
}

// A subsection title with an optional accessory at the trailing edge.
QWidget* subsectionHeader(const QString& title, QWidget* accessory, QWidget* parent) {
  auto* header = new QWidget(parent);
  auto* layout = new QHBoxLayout(header);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  auto* label = makePlainLabel(title, header);
  label->setFont(roleFont(FontRole::headline, QFont::DemiBold));
  setForegroundColor(*label, roleColor(ColorRole::secondary));
  layout->addWidget(label);
  layout->addStretch(1);
  if (accessory) layout->addWidget(accessory);
  return header;
}

QPushButton* linkButton(QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setFlat(true);
  button->setCursor(Qt::PointingHandCursor);
  button->setAutoDefault(false);
  button->setStyleSheet("QPushButton { border: none; padding: 0; text-align: left; }");
  return button;
}

// Moves `widgets` into `layout` in order, touching the layout only when the order changed.
template <typename Widget>
void placeInOrder(QVBoxLayout& layout, std::vector<std::string>& shownOrder,
                  const std::vector<std::string>& order, const std::map<std::string, Widget*>& widgets) {
  if (shownOrder == order) return;
  for (const auto& [key, widget] : widgets) layout.removeWidget(widget);
  for (const std::string& key : order) layout.addWidget(widgets.at(key));
  shownOrder = order;
}

// Deletes the rows whose key is no longer listed.
template <typename Widget>
void removeRowsNotIn(QVBoxLayout& layout, std::map<std::string, Widget*>& rows,
                     const std::vector<std::string>& keys) {
  const std::unordered_set<std::string> listed(keys.begin(), keys.end());
  for (auto it = rows.begin(); it != rows.end();) {
    if (listed.count(it->first) > 0) {
      ++it;
      continue;
    }
    layout.removeWidget(it->second);
    delete it->second;
    it = rows.erase(it);
  }
}

}  // namespace

FilterSidebar::FilterSidebar(FilterSidebarModels models, ViewResourceDisplay resourceDisplay,
                             std::function<void()> showFolderImporter,
                             std::function<void(const std::string& path)> reauthorizeFolder,
                             FilterSidebarFactories factories, const AppLocalization& localizer,
                             QWidget* parent)
    : QWidget(parent),
      models_(models),
      resourceDisplay_(std::move(resourceDisplay)),
      showFolderImporter_(std::move(showFolderImporter)),
      reauthorizeFolder_(std::move(reauthorizeFolder)),
      factories_(std::move(factories)),
      localizer_(localizer),
      requests_(FilterSidebarOperations{
                    [this] { return models_.library.isLibrarySyncInProgress(); },
                    [this](const std::string& path) {
                      startStoreTask(
                          [path](const FilterSidebarModels& s) { return s.library.unregisterFolder(path); });
                    },
                    [this](const std::string& path) {
                      startStoreTask([path](const FilterSidebarModels& s) -> QCoro::Task<void> {
                        co_await s.library.syncRegisteredFolder(path);
                      });
                    },
                    [this] {
                      startStoreTask([](const FilterSidebarModels& s) -> QCoro::Task<void> {
                        co_await s.library.syncRegisteredFolders();
                      });
                    },
                    [this](const std::string& path) { reauthorizeFolder_(path); },
                },
                [this] { updateDialogs(); }) {
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
  layout->setSpacing(8);
  // A line of caption text a person may select, wrapped anywhere a long path or file name needs it
  // rather than widening the column.
  const auto addTextLine = [&](const char* name, ColorRole color) {
    auto* line = new SelectableWrappedText(content);
    line->setObjectName(name);
    line->setFont(roleFont(FontRole::caption));
    setForegroundColor(*line, roleColor(color));
    layout->addWidget(line);
    return line;
  };
  buildLibrarySection(*layout);
  recoveryNotice_ = addTextLine("sidebar.libraryRecoveryNotice", ColorRole::secondary);
  recoveryNotice_->setVisible(false);
  buildFilterSection(*layout);
  error_ = addTextLine("sidebar.error", ColorRole::red);
  layout->addStretch(1);
  scrollArea_->setWidget(content);
  root->addWidget(scrollArea_, 1);
  if (factories_.trashToolbar) {
    QWidget* toolbar = factories_.trashToolbar(
        models_.context, models_.library,
        [this] {
          startStoreTask(
              [](const FilterSidebarModels& s) { return s.trash.presentDeleteCandidateTrashReview(); });
        },
        this);
    if (toolbar) root->addWidget(toolbar);
  }
  connectStore();
  lastTagPresented_ = models_.presentation.isTagAdditionPopoverPresented();
  lastModelPresented_ = models_.presentation.isModelSelectionPopoverPresented();
  applyStoreState();
}

FilterSidebar::~FilterSidebar() {
  // The popovers are windows of their own; they go first, and nothing of the models reaches the
  // sidebar while it goes.
  for (const QObject* model : std::initializer_list<const QObject*>{
           &models_.context, &models_.results, &models_.library, &models_.filters, &models_.trash}) {
    disconnect(model, nullptr, this, nullptr);
  }
  if (connectedPresentation_) disconnect(connectedPresentation_, nullptr, this, nullptr);
  for (QWidget* popover :
       {static_cast<QWidget*>(tagPopover_.data()), static_cast<QWidget*>(modelPopover_.data())}) {
    if (!popover) continue;
    disconnect(popover, nullptr, this, nullptr);
    delete popover;
  }
}

QMessageBox* FilterSidebar::unregisterDialog() const {
  return unregisterDialog_;
}
QMessageBox* FilterSidebar::syncDialog() const {
  return syncDialog_;
}
ScanFailureDiagnosticsSheet* FilterSidebar::scanFailureSheet() const {
  return scanFailureSheet_;
}
QDialog* FilterSidebar::trashReviewSheet() const {
  return trashReviewSheet_;
}
FilterTagAdditionPanel* FilterSidebar::tagPopover() const {
  return tagPopover_;
}
ModelSelectionPanel* FilterSidebar::modelPopover() const {
  return modelPopover_;
}

QSize FilterSidebar::sizeHint() const {
  return {kIdealWidth, QWidget::sizeHint().height()};
}

void FilterSidebar::startStoreTask(std::function<QCoro::Task<void>(const FilterSidebarModels&)> work) {
  // The flow may outlive the sidebar, never the models: it keeps its own copy of the references.
  models_.context.startDetached([models = models_, work = std::move(work)] { return work(models); });
}

FilterPopoverModels FilterSidebar::popoverModels() const {
  return {models_.suggestions, models_.filters, models_.presentation, models_.context};
}

void FilterSidebar::buildLibrarySection(QVBoxLayout& layout) {
  QWidget* content = layout.parentWidget();
  libraryHeader_ = new LibrarySectionHeader(
      localizer_,
      [this] {
        return LibraryActionRules::make(models_.library.registeredFolderSummaries(),
                                        models_.results.isLoading(),
                                        models_.library.isLibrarySyncInProgress());
      },
      LibraryHeaderMenuActions{
          [this] { requests_.requestSync(RegisteredFolderSyncRequest::all()); },
          [this] { showFolderImporter_(); },
          [this] {
            const auto& folders = models_.library.registeredFolderSummaries();
            if (folders.size() == 1) revealInFileManager(folders.front().path);
          },
          [this] {
            const auto& folders = models_.library.registeredFolderSummaries();
            requests_.requestUnregisterSingleFolder(folders.size() == 1 ? std::optional(folders.front().path)
                                                                        : std::nullopt);
          },
      },
      content);
  connect(libraryHeader_, &LibrarySectionHeader::toggleRequested, this, [this] {
    auto& presentation = models_.presentation;
    presentation.setIsLibrarySectionExpanded(!presentation.isLibrarySectionExpanded());
  });
  layout.addWidget(libraryHeader_);

  libraryBody_ = new QWidget(content);
  auto* body = new QVBoxLayout(libraryBody_);
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(6);
  summaryRow_ = new LibrarySummaryRow(libraryBody_);
  body->addWidget(summaryRow_);
  addFolder_ = new QPushButton(symbolIcon("folder.badge.plus"),
                               mnemonicSafe(qtText(localizer_.lookup(Key::libraryAddFolder))), libraryBody_);
  addFolder_->setObjectName(qtText(accessibility_id::kSidebarLibraryAddFolder));
  addFolder_->setAutoDefault(false);
  connect(addFolder_, &QPushButton::clicked, this, [this] { showFolderImporter_(); });
  body->addWidget(addFolder_, 0, Qt::AlignLeft);
  folderRowsLayout_ = new QVBoxLayout;
  folderRowsLayout_->setSpacing(0);
  body->addLayout(folderRowsLayout_);
  allowAccess_ =
      new QPushButton(symbolIcon("lock.open"),
                      mnemonicSafe(qtText(localizer_.lookup(Key::libraryAllowAccess))), libraryBody_);
  allowAccess_->setObjectName("sidebar.library.allowAccess");
  allowAccess_->setAutoDefault(false);
  connect(allowAccess_, &QPushButton::clicked, this, [this] {
    if (repairPath_) reauthorizeFolder_(*repairPath_);
  });
  body->addWidget(allowAccess_, 0, Qt::AlignLeft);
  failedFiles_ = new WrappingLinkButton(libraryBody_);
  failedFiles_->setObjectName("sidebar.library.failedFiles");
  failedFiles_->setIcon(tintedSymbolIcon("exclamationmark.triangle", roleColor(ColorRole::red)));
  failedFiles_->setIconSize(QSize(12, 12));
  failedFiles_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*failedFiles_, roleColor(ColorRole::red));
  connect(failedFiles_, &QPushButton::clicked, this, [this] { requests_.presentScanFailureDiagnostics(); });
  body->addWidget(failedFiles_);
  layout.addWidget(libraryBody_);
}

void FilterSidebar::buildFilterSection(QVBoxLayout& layout) {
  QWidget* content = layout.parentWidget();
  layout.addWidget(sectionHeader(qtText(localizer_.lookup(Key::filterTitle)), content));

  addTag_ = new QToolButton(content);
  addTag_->setObjectName(qtText(accessibility_id::kSidebarFilterAddTag));
  addTag_->setIcon(symbolIcon("plus"));
  addTag_->setIconSize(QSize(12, 12));
  addTag_->setFixedSize(20, 20);
  addTag_->setAutoRaise(true);
  addTag_->setFocusPolicy(Qt::StrongFocus);
  const QString addTagText = qtText(localizer_.lookup(Key::filterTagAdd));
  setPlainToolTip(*addTag_, addTagText);
  addTag_->setAccessibleName(addTagText);
  connect(addTag_, &QToolButton::clicked, this, [this] {
    addTag_->clearFocus();
    tagFocus_.controlOpened();
    models_.presentation.presentTagAdditionPopover();
  });
  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterTagsTitle)), addTag_, content));

  tagsEmptyHint_ = makePlainLabel(qtText(localizer_.lookup(Key::filterTagsEmptyHint)), content);
  tagsEmptyHint_->setObjectName("sidebar.filter.tagsEmptyHint");
  tagsEmptyHint_->setFont(roleFont(FontRole::callout));
  tagsEmptyHint_->setWordWrap(true);
  setForegroundColor(*tagsEmptyHint_, roleColor(ColorRole::secondary));
  layout.addWidget(tagsEmptyHint_);
  tagRowsLayout_ = new QVBoxLayout;
  tagRowsLayout_->setSpacing(0);
  layout.addLayout(tagRowsLayout_);
  tagMore_ = linkButton(content);
  tagMore_->setObjectName("sidebar.filter.tagMore");
  setForegroundColor(*tagMore_, roleColor(ColorRole::accent));
  connect(tagMore_, &QPushButton::clicked, this, [this] {
    auto& presentation = models_.presentation;
    presentation.setIsFilterTagListExpanded(!presentation.isFilterTagListExpanded());
  });
  layout.addWidget(tagMore_, 0, Qt::AlignLeft);
  layout.addWidget(makeDivider(content));

  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterModelsTitle)), nullptr, content));
  auto* modelRow = new QWidget(content);
  auto* modelLayout = new QHBoxLayout(modelRow);
  modelLayout->setContentsMargins(0, 0, 0, 0);
  modelLayout->setSpacing(8);
  modelSelect_ = new FilterRowButton(FilterRowMetrics::sidebar(), modelRow);
  modelSelect_->setObjectName(qtText(accessibility_id::kSidebarFilterModel));
  connect(modelSelect_, &FilterRowButton::clicked, this, [this] {
    modelSelect_->clearFocus();
    modelFocus_.controlOpened();
    models_.presentation.presentModelSelectionPopover();
  });
  modelSelect_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(modelSelect_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { showModelRowMenu(modelSelect_, p); });
  modelLayout->addWidget(modelSelect_, 1);
  modelClear_ = new QToolButton(modelRow);
  modelClear_->setObjectName("sidebar.filter.modelClear");
  modelClear_->setIcon(tintedSymbolIcon("xmark.circle.fill", roleColor(ColorRole::secondary)));
  modelClear_->setFixedSize(22, 22);
  modelClear_->setAutoRaise(true);
  modelClear_->setFocusPolicy(Qt::StrongFocus);
  const QString clearText = qtText(localizer_.lookup(Key::filterModelClear));
  setPlainToolTip(*modelClear_, clearText);
  modelClear_->setAccessibleName(clearText);
  connect(modelClear_, &QToolButton::clicked, this, &FilterSidebar::clearModelFilter);
  modelClear_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(modelClear_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { showModelRowMenu(modelClear_, p); });
  modelLayout->addWidget(modelClear_);
  setTabOrder(modelSelect_, modelClear_);  // Tab → × → Space clears the model filter
  layout.addWidget(modelRow);
  layout.addWidget(makeDivider(content));

  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterAspectTitle)), nullptr, content));
  auto* aspectRows = new QVBoxLayout;
  aspectRows->setSpacing(0);  // spaced like the saved tags
  layout.addLayout(aspectRows);
  for (const ImageAspectFilter aspect : kAspects) {
    auto* row = new FilterRowButton(FilterRowMetrics::sidebar(), content);
    connect(row, &FilterRowButton::clicked, this, [this, aspect] {
      startStoreTask([aspect](const FilterSidebarModels& s) { return s.filters.toggleAspectFilter(aspect); });
    });
    aspectRows_.push_back(row);
    aspectRows->addWidget(row);
  }
  layout.addWidget(makeDivider(content));

  favoritesOnly_ = new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterFavoriteOnly))), content);
  favoritesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterFavoriteOnly));
  // clicked, never toggled: a programmatic set must not call the store.
  connect(favoritesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startStoreTask(
        [checked](const FilterSidebarModels& s) { return s.filters.setOnlyFavoritesFilter(checked); });
  });
  layout.addWidget(favoritesOnly_);
  deleteCandidatesOnly_ =
      new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterDeleteCandidatesOnly))), content);
  deleteCandidatesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterDeleteCandidatesOnly));
  connect(deleteCandidatesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startStoreTask(
        [checked](const FilterSidebarModels& s) { return s.filters.setOnlyDeleteCandidatesFilter(checked); });
  });
  layout.addWidget(deleteCandidatesOnly_);
}

void FilterSidebar::connectStore() {
  const auto schedule = [this] { scheduleUpdate(); };
  connect(&models_.context, &StoreContext::errorMessageChanged, this, schedule);
  connect(&models_.context, &StoreContext::needsLiveServicePreparationChanged, this, schedule);
  connect(&models_.results, &ResultsModel::isLoadingChanged, this, schedule);
  for (const auto signal : {
           &LibraryModel::registeredFolderSummariesChanged,
           &LibraryModel::isLoadingRegisteredFoldersChanged,
           &LibraryModel::hasLoadedRegisteredFolderSummariesChanged,
           &LibraryModel::launchWorkflowTaskChanged,
           &LibraryModel::isLibrarySyncInProgressChanged,
           &LibraryModel::indexingProgressChanged,
           &LibraryModel::lastScanSummaryChanged,
           &LibraryModel::lastScanDiagnosticContextChanged,
           &LibraryModel::libraryRecoveryNoticeChanged,
       }) {
    connect(&models_.library, signal, this, schedule);
  }
  for (const auto signal : {
           &FiltersModel::savedFilterTagsChanged,
           &FiltersModel::selectedFilterTagsChanged,
           &FiltersModel::selectedModelSourceChanged,
           &FiltersModel::selectedAspectFiltersChanged,
           &FiltersModel::onlyFavoritesChanged,
           &FiltersModel::onlyDeleteCandidatesChanged,
       }) {
    connect(&models_.filters, signal, this, schedule);
  }
  connect(&models_.trash, &TrashModel::lastTrashSummaryChanged, this, schedule);
  connectPresentation();
}

void FilterSidebar::connectPresentation() {
  if (connectedPresentation_) disconnect(connectedPresentation_, nullptr, this, nullptr);
  auto& presentation = models_.presentation;
  connectedPresentation_ = &presentation;
  const auto schedule = [this] { scheduleUpdate(); };
  connect(&presentation, &ImageLibraryPresentationState::isLibrarySectionExpandedChanged, this, schedule);
  connect(&presentation, &ImageLibraryPresentationState::isFilterTagListExpandedChanged, this, schedule);
  connect(&presentation, &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged, this,
          &FilterSidebar::tagPopoverFlagChanged);
  connect(&presentation, &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged, this,
          &FilterSidebar::modelPopoverFlagChanged);
  connect(&presentation, &ImageLibraryPresentationState::isDeleteCandidateTrashReviewPresentedChanged, this,
          &FilterSidebar::updateTrashReviewSheet);
}

void FilterSidebar::scheduleUpdate() {
  isUpdateQueued_ = true;
  updateSoon_.schedule();
}

void FilterSidebar::applyStoreState() {
  isUpdateQueued_ = false;
  updateLibrarySection();
  updateSavedTags();
  updateFilters();
  updateError();
  updateRecoveryNotice();
  updateScanFailureSheet();
}

void FilterSidebar::updateLibrarySection() {
  const bool expanded = models_.presentation.isLibrarySectionExpanded();
  libraryHeader_->setExpanded(expanded);
  libraryBody_->setVisible(expanded);
  const auto& folders = models_.library.registeredFolderSummaries();
  const auto presentation = LibrarySidebarPresentation::make(
      folders, models_.library.isCheckingRegisteredFolders(), models_.library.isLibrarySyncInProgress(),
      models_.library.indexingProgress(), localizer_, resourceDisplay_);
  const auto rules = LibraryActionRules::make(folders, models_.results.isLoading(),
                                              models_.library.isLibrarySyncInProgress());
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
            const auto& all = models_.library.registeredFolderSummaries();
            const auto it =
                std::find_if(all.begin(), all.end(), [&](const auto& f) { return f.path == path; });
            if (it == all.end()) return std::vector<SidebarMenuEntry>{};
            const auto now = LibraryActionRules::make(all, models_.results.isLoading(),
                                                      models_.library.isLibrarySyncInProgress());
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
          localizer_, libraryBody_);
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
  const auto& scan = models_.library.lastScanSummary();
  const std::int64_t failed = scan ? scan->failedFileCount : 0;
  failedFiles_->setVisible(failed >= 1);
  if (failed >= 1) {
    failedFiles_->setTitle(qtText(localizer_.lookup(
        pluralKey(failed, Key::libraryFailedFileCountOne, Key::libraryFailedFileCountOther), {failed})));
  }
}

void FilterSidebar::updateSavedTags() {
  const std::vector<std::string> visible = models_.projections.visibleSavedFilterTags();
  removeRowsNotIn(*tagRowsLayout_, tagRows_, visible);
  QWidget* content = scrollArea_->widget();
  for (const std::string& tag : visible) {
    FilterRowButton*& row = tagRows_[tag];
    if (!row) {
      row = new FilterRowButton(FilterRowMetrics::sidebar(), content);
      connect(row, &FilterRowButton::clicked, this, [this, tag] {
        startStoreTask([tag](const FilterSidebarModels& s) { return s.filters.toggleFilterTag(tag); });
      });
      row->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(row, &QWidget::customContextMenuRequested, this, [this, row, tag](const QPoint& position) {
        QMenu menu(row);
        fillMenu(menu, makeSavedFilterTagMenu([tag] { copyTextToClipboard(tag); },
                                              [this, tag] {
                                                startStoreTask([tag](const FilterSidebarModels& s) {
                                                  return s.filters.removeSavedFilterTag(tag);
                                                });
                                              },
                                              localizer_));
        menu.exec(row->mapToGlobal(position));
      });
    }
    row->setPresentation(savedFilterTagRow(tag, models_.filters.isFilterTagSelected(tag), localizer_));
  }
  placeInOrder(*tagRowsLayout_, tagRowOrder_, visible, tagRows_);
  tagsEmptyHint_->setVisible(visible.empty());
  const bool hasMore = models_.filters.savedFilterTags().size() > 5;
  tagMore_->setVisible(hasMore);
  tagMore_->setText(mnemonicSafe(qtText(localizer_.lookup(
      models_.presentation.isFilterTagListExpanded() ? Key::filterTagLess : Key::filterTagMore))));
}

void FilterSidebar::updateFilters() {
  const auto model = ModelFilterRowPresentation::make(models_.filters.selectedModelSource(), localizer_);
  FilterRowPresentation select;
  select.identifier = std::string(accessibility_id::kSidebarFilterModel);
  select.mark = model.mark;
  select.text = model.text;
  select.isTextSecondary = model.isTextSecondary;
  select.accessibleName = model.accessibleName;
  select.isSelected = model.isSelected;
  select.trailingSymbol = model.showsChevron ? "chevron.right" : "";
  modelSelect_->setPresentation(select);
  setPlainToolTip(*modelSelect_, qtText(model.helpText));
  modelSelect_->setAccessibleDescription(qtText(model.helpText));
  modelClear_->setVisible(model.showsClearButton);
  for (std::size_t i = 0; i < kAspects.size(); ++i) {
    aspectRows_[i]->setPresentation(
        aspectFilterRow(kAspects[i], models_.filters.isAspectFilterSelected(kAspects[i]), localizer_));
  }
  {
    const QSignalBlocker blocker(favoritesOnly_);
    favoritesOnly_->setChecked(models_.filters.onlyFavorites());
  }
  {
    const QSignalBlocker blocker(deleteCandidatesOnly_);
    deleteCandidatesOnly_->setChecked(models_.filters.onlyDeleteCandidates());
  }
}

void FilterSidebar::updateError() {
  const SidebarErrorPresentation presentation{models_.context.errorMessage(),
                                              models_.trash.lastTrashSummary(), resourceDisplay_,
                                              models_.context.errorNotice()};
  const std::optional<std::string> message = presentation.message(localizer_);
  error_->setVisible(message.has_value());
  error_->setText(message ? qtText(*message) : QString());
}

void FilterSidebar::updateRecoveryNotice() {
  const auto& notice = models_.library.libraryRecoveryNotice();
  recoveryNotice_->setVisible(notice.has_value());
  recoveryNotice_->setText(notice ? qtText(libraryRecoveryNoticeText(*notice, localizer_)) : QString());
}

void FilterSidebar::clearModelFilter() {
  if (!models_.filters.selectedModelSource()) return;
  models_.filters.setSelectedModelSource(std::nullopt);
  startStoreTask([](const FilterSidebarModels& s) {
    return s.results.refreshResults(ResultsModel::kFirstPageLimit, true);
  });
}

void FilterSidebar::showModelRowMenu(QWidget* source, const QPoint& position) {
  QMenu menu(source);
  fillMenu(menu, makeModelFilterRowMenu(
                     models_.filters.selectedModelSource(),
                     [this] {
                       modelFocus_.controlOpened();
                       models_.presentation.presentModelSelectionPopover();
                     },
                     [this] { clearModelFilter(); }, localizer_));
  menu.exec(source->mapToGlobal(position));
}

// ---- Dialogs ----

void FilterSidebar::updateDialogs() {
  const auto prepare = [this](QMessageBox& box, const ConfirmationDialogTexts& texts, QPushButton*& confirm) {
    box.setWindowModality(Qt::WindowModal);
    box.setIcon(QMessageBox::NoIcon);
    box.setTextFormat(Qt::PlainText);
    // The title as the text: a window manager may not show a dialog's title.
    box.setWindowTitle(qtText(texts.title));
    keepMessageBoxReadable(box);
    box.setText(qtText(texts.title));
    box.setInformativeText(qtText(texts.message));
    confirm =
        box.addButton(mnemonicSafe(qtText(texts.confirmTitle)),
                      texts.isConfirmDestructive ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    confirm->setObjectName("confirm");
    QPushButton* cancel = box.addButton(mnemonicSafe(qtText(texts.cancelTitle)), QMessageBox::RejectRole);
    cancel->setObjectName("cancel");
    box.setEscapeButton(cancel);
    box.setDefaultButton(texts.isConfirmDefault ? confirm : cancel);
    Q_UNUSED(this);
  };

  const auto& path = requests_.unregisterConfirmationPath();
  if (path && !unregisterDialog_) {
    auto* box = new QMessageBox(this);
    box->setObjectName("sidebar.unregisterDialog");
    QPushButton* confirm = nullptr;
    prepare(*box, unregisterConfirmationTexts(localizer_), confirm);
    connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
      if (button == confirm) requests_.confirmUnregister();
    });
    connect(box, &QMessageBox::finished, this, [this, box] {
      requests_.dismissUnregister();
      box->deleteLater();
    });
    unregisterDialog_ = box;
    box->open();
  } else if (!path && unregisterDialog_) {
    QMessageBox* box = unregisterDialog_;
    unregisterDialog_ = nullptr;
    if (box->isVisible()) box->close();
  }

  const auto& sync = requests_.pendingRegisteredFolderSync();
  if (sync && syncDialog_) {
    // A new request replaced the pending one: the wording follows it.
    const auto texts = syncConfirmationTexts(*sync, localizer_);
    syncDialog_->setText(qtText(texts.title));
    syncDialog_->setInformativeText(qtText(texts.message));
    if (auto* confirm = syncDialog_->findChild<QPushButton*>("confirm"))
      confirm->setText(mnemonicSafe(qtText(texts.confirmTitle)));
  } else if (sync && !syncDialog_) {
    auto* box = new QMessageBox(this);
    box->setObjectName("sidebar.syncDialog");
    QPushButton* confirm = nullptr;
    prepare(*box, syncConfirmationTexts(*sync, localizer_), confirm);
    connect(box, &QMessageBox::buttonClicked, this, [this, confirm](QAbstractButton* button) {
      if (button == confirm) requests_.confirmPendingSync();
    });
    connect(box, &QMessageBox::finished, this, [this, box] {
      if (syncDialog_ == box) requests_.dismissSync();
      box->deleteLater();
    });
    syncDialog_ = box;
    box->open();
  } else if (!sync && syncDialog_) {
    QMessageBox* box = syncDialog_;
    syncDialog_ = nullptr;
    if (box->isVisible()) box->close();
  }

  if (requests_.isScanFailureDiagnosticsPresented() && !scanFailureSheet_) {
    auto* sheet = new ScanFailureDiagnosticsSheet(
        this,
        [this] {
          const auto* p = scanFailureSheet_ ? &scanFailureSheet_->presentation() : nullptr;
          requests_.requestReauthorizationFromScanFailure(p && *p ? (*p)->reauthorizationRootPath
                                                                  : std::nullopt);
        },
        [this] { requests_.requestRescanFromScanFailure(); });
    connect(sheet, &QDialog::finished, this, [this, sheet] {
      if (scanFailureSheet_ == sheet) requests_.dismissScanFailureDiagnostics();
      sheet->deleteLater();
    });
    scanFailureSheet_ = sheet;
    updateScanFailureSheet();
    sheet->open();
  } else if (!requests_.isScanFailureDiagnosticsPresented() && scanFailureSheet_) {
    ScanFailureDiagnosticsSheet* sheet = scanFailureSheet_;
    scanFailureSheet_ = nullptr;
    if (sheet->isVisible()) sheet->close();
  }
}

void FilterSidebar::updateScanFailureSheet() {
  if (!scanFailureSheet_) return;
  const auto& summary = models_.library.lastScanSummary();
  scanFailureSheet_->setPresentation(
      summary ? std::optional(ScanFailureDiagnosticsPresentation::make(
                    *summary, models_.library.lastScanDiagnosticContext(), localizer_, resourceDisplay_))
              : std::nullopt);
}

void FilterSidebar::updateTrashReviewSheet() {
  const bool presented = models_.presentation.isDeleteCandidateTrashReviewPresented();
  if (presented && !trashReviewSheet_ && factories_.trashReviewSheet) {
    QDialog* sheet = factories_.trashReviewSheet(models_.trash, models_.results, models_.presentation,
                                                 models_.projections, resourceDisplay_, this);
    if (!sheet) return;
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [this, sheet] {
      // Closed by the user while the review is still presented: dismissed once, here.
      if (trashReviewSheet_ == sheet) {
        trashReviewSheet_ = nullptr;
        if (models_.presentation.isDeleteCandidateTrashReviewPresented())
          models_.trash.dismissDeleteCandidateTrashReview();
      }
      sheet->deleteLater();
    });
    trashReviewSheet_ = sheet;
    sheet->open();
  } else if (!presented && trashReviewSheet_) {
    QDialog* sheet = trashReviewSheet_;
    trashReviewSheet_ = nullptr;
    if (sheet->isVisible()) sheet->close();
  }
}

// ---- Popovers and the focus return ----

PopoverFlags FilterSidebar::tagFlags() const {
  const auto& p = models_.presentation;
  return {p.isTagAdditionPopoverPresented(), p.isModelSelectionPopoverPresented()};
}

PopoverFlags FilterSidebar::modelFlags() const {
  const auto& p = models_.presentation;
  return {p.isModelSelectionPopoverPresented(), p.isTagAdditionPopoverPresented()};
}

void FilterSidebar::focusAfterYield(PopoverFocusReturn& machine, QWidget* control, bool isTag) {
  control->clearFocus();
  QPointer<QWidget> target(control);
  QTimer::singleShot(0, this, [this, &machine, target, isTag] {
    if (target && machine.shouldFocusAfterYield(isTag ? tagFlags() : modelFlags())) {
      target->setFocus(Qt::PopupFocusReason);
    }
  });
}

template <typename Panel>
void FilterSidebar::followPopoverFlag(bool presented, PopoverKind kind, QPointer<Panel>& slot,
                                      const std::function<Panel*()>& make) {
  bool& last = kind == PopoverKind::tag ? lastTagPresented_ : lastModelPresented_;
  if (presented == last) return;
  last = presented;
  PopoverFocusReturn& machine = kind == PopoverKind::tag ? tagFocus_ : modelFocus_;
  QWidget* control = kind == PopoverKind::tag ? static_cast<QWidget*>(addTag_) : modelSelect_;
  const auto flags = [this, kind] { return kind == PopoverKind::tag ? tagFlags() : modelFlags(); };
  if (machine.presentedChanged(presented, flags()) == PopoverFocusReturn::Decision::focusAfterYield) {
    focusAfterYield(machine, control, kind == PopoverKind::tag);
  }
  if (presented) {
    if (slot) return;
    Panel* popover = make();
    connect(popover, &FilterPopover::contentShown, this, [&machine] { machine.contentShown(); });
    connect(popover, &FilterPopover::contentHidden, this, [this, &machine, control, kind, flags] {
      if (machine.contentHidden(flags()) == PopoverFocusReturn::Decision::focusAfterYield) {
        focusAfterYield(machine, control, kind == PopoverKind::tag);
      }
    });
    slot = popover;
    popover->showBeside(*control);
  } else if (slot) {
    Panel* popover = slot;
    slot = nullptr;
    popover->hide();
    popover->deleteLater();
  }
}

void FilterSidebar::tagPopoverFlagChanged() {
  followPopoverFlag<FilterTagAdditionPanel>(
      models_.presentation.isTagAdditionPopoverPresented(), PopoverKind::tag, tagPopover_, [this] {
        return new FilterTagAdditionPanel(popoverModels(), models_.results, models_.concepts, localizer_,
                                          factories_.tagConceptManagement, this);
      });
}

void FilterSidebar::modelPopoverFlagChanged() {
  followPopoverFlag<ModelSelectionPanel>(
      models_.presentation.isModelSelectionPopoverPresented(), PopoverKind::model, modelPopover_,
      [this] { return new ModelSelectionPanel(popoverModels(), localizer_, this); });
}

void FilterSidebar::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (models_.context.featureAvailability().isTagConceptEnabled) {
    startStoreTask([](const FilterSidebarModels& s) { return s.concepts.loadTagConcepts(); });
  }
}

}  // namespace lorvex::ui
