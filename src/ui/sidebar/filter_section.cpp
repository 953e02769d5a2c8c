#include "ui/sidebar/filter_section.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <array>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/projections/store_projections.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/clipboard.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/sidebar/filter_row_button.h"
#include "ui/sidebar/sidebar_menus.h"
#include "ui/sidebar/sidebar_widget_helpers.h"
#include "ui/sidebar/suggestion_popovers.h"

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

}  // namespace

FilterSection::FilterSection(FilterSectionModels models,
                             FilterSidebarFactories::ConceptManagementFactory tagConceptManagement,
                             const AppLocalization& localizer, QWidget* parent)
    : QWidget(parent),
      models_(models),
      tagConceptManagement_(std::move(tagConceptManagement)),
      localizer_(localizer),
      lastTagPresented_(models.presentation.isTagAdditionPopoverPresented()),
      lastModelPresented_(models.presentation.isModelSelectionPopoverPresented()) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kSidebarSectionSpacing);
  layout->addWidget(sectionHeader(qtText(localizer_.lookup(Key::filterTitle)), this));

  addTag_ = new QToolButton(this);
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
  layout->addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterTagsTitle)), addTag_, this));

  tagsEmptyHint_ = makePlainLabel(qtText(localizer_.lookup(Key::filterTagsEmptyHint)), this);
  tagsEmptyHint_->setObjectName("sidebar.filter.tagsEmptyHint");
  tagsEmptyHint_->setFont(roleFont(FontRole::callout));
  tagsEmptyHint_->setWordWrap(true);
  setForegroundColor(*tagsEmptyHint_, roleColor(ColorRole::secondary));
  layout->addWidget(tagsEmptyHint_);
  tagRowsLayout_ = new QVBoxLayout;
  tagRowsLayout_->setSpacing(0);
  layout->addLayout(tagRowsLayout_);
  tagMore_ = linkButton(this);
  tagMore_->setObjectName("sidebar.filter.tagMore");
  setForegroundColor(*tagMore_, roleColor(ColorRole::accent));
  connect(tagMore_, &QPushButton::clicked, this, [this] {
    auto& presentation = models_.presentation;
    presentation.setIsFilterTagListExpanded(!presentation.isFilterTagListExpanded());
  });
  layout->addWidget(tagMore_, 0, Qt::AlignLeft);
  layout->addWidget(makeDivider(this));

  layout->addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterModelsTitle)), nullptr, this));
  auto* modelRow = new QWidget(this);
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
  connect(modelClear_, &QToolButton::clicked, this, &FilterSection::clearModelFilter);
  modelClear_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(modelClear_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { showModelRowMenu(modelClear_, p); });
  modelLayout->addWidget(modelClear_);
  setTabOrder(modelSelect_, modelClear_);  // Tab → × → Space clears the model filter
  layout->addWidget(modelRow);
  layout->addWidget(makeDivider(this));

  layout->addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterAspectTitle)), nullptr, this));
  auto* aspectRows = new QVBoxLayout;
  aspectRows->setSpacing(0);  // spaced like the saved tags
  layout->addLayout(aspectRows);
  for (const ImageAspectFilter aspect : kAspects) {
    auto* row = new FilterRowButton(FilterRowMetrics::sidebar(), this);
    connect(row, &FilterRowButton::clicked, this, [this, aspect] {
      startFilterTask([aspect](FiltersModel& f) { return f.toggleAspectFilter(aspect); });
    });
    aspectRows_.push_back(row);
    aspectRows->addWidget(row);
  }
  layout->addWidget(makeDivider(this));

  favoritesOnly_ = new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterFavoriteOnly))), this);
  favoritesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterFavoriteOnly));
  // clicked, never toggled: a programmatic set must not call the store.
  connect(favoritesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startFilterTask([checked](FiltersModel& f) { return f.setOnlyFavoritesFilter(checked); });
  });
  layout->addWidget(favoritesOnly_);
  deleteCandidatesOnly_ =
      new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterDeleteCandidatesOnly))), this);
  deleteCandidatesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterDeleteCandidatesOnly));
  connect(deleteCandidatesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startFilterTask([checked](FiltersModel& f) { return f.setOnlyDeleteCandidatesFilter(checked); });
  });
  layout->addWidget(deleteCandidatesOnly_);

  const auto schedule = [this] { scheduleUpdate(); };
  // The saved tags are no filter, so filtersChanged leaves them out; the section lists them.
  connect(&models_.filters, &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(&models_.filters, &FiltersModel::filtersChanged, this, schedule);
  auto& presentation = models_.presentation;
  connect(&presentation, &ImageLibraryPresentationState::isFilterTagListExpandedChanged, this, schedule);
  connect(&presentation, &ImageLibraryPresentationState::isTagAdditionPopoverPresentedChanged, this,
          &FilterSection::tagPopoverFlagChanged);
  connect(&presentation, &ImageLibraryPresentationState::isModelSelectionPopoverPresentedChanged, this,
          &FilterSection::modelPopoverFlagChanged);
}

FilterSection::~FilterSection() {
  // The popovers are windows of their own; they go first, and nothing of the models reaches the
  // section while it goes.
  for (const QObject* model :
       std::initializer_list<const QObject*>{&models_.filters, &models_.presentation}) {
    disconnect(model, nullptr, this, nullptr);
  }
  for (QWidget* popover :
       {static_cast<QWidget*>(tagPopover_.data()), static_cast<QWidget*>(modelPopover_.data())}) {
    if (!popover) continue;
    disconnect(popover, nullptr, this, nullptr);
    delete popover;
  }
}

FilterTagAdditionPanel* FilterSection::tagPopover() const {
  return tagPopover_;
}
ModelSelectionPanel* FilterSection::modelPopover() const {
  return modelPopover_;
}

void FilterSection::startFilterTask(std::function<QCoro::Task<void>(FiltersModel&)> work) {
  // The flow may outlive the section, never the model.
  models_.context.startDetached(
      [filters = &models_.filters, work = std::move(work)] { return work(*filters); });
}

FilterPopoverModels FilterSection::popoverModels() const {
  return {models_.suggestions, models_.filters, models_.presentation, models_.context};
}

void FilterSection::scheduleUpdate() {
  isUpdateQueued_ = true;
  updateSoon_.schedule();
}

void FilterSection::applyStoreState() {
  isUpdateQueued_ = false;
  updateSavedTags();
  updateFilters();
}

void FilterSection::updateSavedTags() {
  const std::vector<std::string> visible = models_.projections.visibleSavedFilterTags();
  removeRowsNotIn(*tagRowsLayout_, tagRows_, visible);
  for (const std::string& tag : visible) {
    FilterRowButton*& row = tagRows_[tag];
    if (!row) {
      row = new FilterRowButton(FilterRowMetrics::sidebar(), this);
      connect(row, &FilterRowButton::clicked, this,
              [this, tag] { startFilterTask([tag](FiltersModel& f) { return f.toggleFilterTag(tag); }); });
      row->setContextMenuPolicy(Qt::CustomContextMenu);
      connect(row, &QWidget::customContextMenuRequested, this, [this, row, tag](const QPoint& position) {
        QMenu menu(row);
        fillMenu(menu, makeSavedFilterTagMenu([tag] { copyTextToClipboard(tag); },
                                              [this, tag] {
                                                startFilterTask([tag](FiltersModel& f) {
                                                  return f.removeSavedFilterTag(tag);
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

void FilterSection::updateFilters() {
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

void FilterSection::clearModelFilter() {
  startFilterTask([](FiltersModel& f) { return f.clearModelFilter(); });
}

void FilterSection::showModelRowMenu(QWidget* source, const QPoint& position) {
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

// ---- Popovers and the focus return ----

PopoverFlags FilterSection::tagFlags() const {
  const auto& p = models_.presentation;
  return {p.isTagAdditionPopoverPresented(), p.isModelSelectionPopoverPresented()};
}

PopoverFlags FilterSection::modelFlags() const {
  const auto& p = models_.presentation;
  return {p.isModelSelectionPopoverPresented(), p.isTagAdditionPopoverPresented()};
}

void FilterSection::focusAfterYield(PopoverFocusReturn& machine, QWidget* control, bool isTag) {
  control->clearFocus();
  QPointer<QWidget> target(control);
  QTimer::singleShot(0, this, [this, &machine, target, isTag] {
    if (target && machine.shouldFocusAfterYield(isTag ? tagFlags() : modelFlags())) {
      target->setFocus(Qt::PopupFocusReason);
    }
  });
}

template <typename Panel>
void FilterSection::followPopoverFlag(bool presented, PopoverKind kind, QPointer<Panel>& slot,
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

void FilterSection::tagPopoverFlagChanged() {
  followPopoverFlag<FilterTagAdditionPanel>(
      models_.presentation.isTagAdditionPopoverPresented(), PopoverKind::tag, tagPopover_, [this] {
        return new FilterTagAdditionPanel(popoverModels(), models_.results, models_.concepts, localizer_,
                                          tagConceptManagement_, this);
      });
}

void FilterSection::modelPopoverFlagChanged() {
  followPopoverFlag<ModelSelectionPanel>(
      models_.presentation.isModelSelectionPopoverPresented(), PopoverKind::model, modelPopover_,
      [this] { return new ModelSelectionPanel(popoverModels(), localizer_, this); });
}

void FilterSection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (models_.context.featureAvailability().isTagConceptEnabled) {
    models_.context.startDetached([concepts = &models_.concepts] { return concepts->loadTagConcepts(); });
  }
}

}  // namespace lorvex::ui
