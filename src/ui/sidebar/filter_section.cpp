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

#include "model/enum_cases.h"
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
#include "ui/common/wrapped_text_label.h"
#include "ui/sidebar/filter_row_button.h"
#include "ui/sidebar/sidebar_menus.h"
#include "ui/sidebar/sidebar_widget_helpers.h"
#include "ui/sidebar/suggestion_popovers.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

constexpr std::array<ImageAspectFilter, 3> kAspects = {
    ImageAspectFilter::portrait, ImageAspectFilter::landscape, ImageAspectFilter::square};
static_assert(holdsEveryCaseOnce(kAspects));

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
  button->setFocusPolicy(Qt::TabFocus);
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
      localizer_(localizer) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(kSidebarSectionSpacing);
  layout->addWidget(sectionHeader(qtText(localizer_.lookup(Key::filterTitle)), this));
  buildSavedTags(*layout);
  layout->addWidget(makeDivider(this));
  buildModelFilter(*layout);
  layout->addWidget(makeDivider(this));
  buildAspects(*layout);
  layout->addWidget(makeDivider(this));
  buildSwitches(*layout);
  setUpPopovers();
  followModels();
}

void FilterSection::buildSavedTags(QVBoxLayout& layout) {
  addTag_ = new QToolButton(this);
  addTag_->setObjectName(qtText(accessibility_id::kSidebarFilterAddTag));
  addTag_->setIcon(symbolIcon("plus"));
  addTag_->setIconSize(QSize(12, 12));
  addTag_->setFixedSize(20, 20);
  addTag_->setAutoRaise(true);
  addTag_->setFocusPolicy(Qt::TabFocus);
  const QString addTagText = qtText(localizer_.lookup(Key::filterTagAdd));
  setPlainToolTip(*addTag_, addTagText);
  addTag_->setAccessibleName(addTagText);
  connect(addTag_, &QToolButton::clicked, this, [this] {
    addTag_->clearFocus();
    tagPopover_.focus.controlOpened();
    models_.presentation.presentTagAdditionPopover();
  });
  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterTagsTitle)), addTag_, this));

  tagsEmptyHint_ = new WrappedTextLabel(qtText(localizer_.lookup(Key::filterTagsEmptyHint)), this);
  tagsEmptyHint_->setObjectName("sidebar.filter.tagsEmptyHint");
  tagsEmptyHint_->setFont(roleFont(FontRole::callout));
  tagsEmptyHint_->setEvenLines(true);
  setForegroundColor(*tagsEmptyHint_, roleColor(ColorRole::secondary));
  layout.addWidget(tagsEmptyHint_);
  tagRowsLayout_ = new QVBoxLayout;
  tagRowsLayout_->setSpacing(0);
  layout.addLayout(tagRowsLayout_);
  tagMore_ = linkButton(this);
  tagMore_->setObjectName("sidebar.filter.tagMore");
  setForegroundColor(*tagMore_, roleColor(ColorRole::accent));
  connect(tagMore_, &QPushButton::clicked, this, [this] {
    auto& presentation = models_.presentation;
    presentation.setIsFilterTagListExpanded(!presentation.isFilterTagListExpanded());
  });
  layout.addWidget(tagMore_, 0, Qt::AlignLeft);
}

void FilterSection::buildModelFilter(QVBoxLayout& layout) {
  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterModelsTitle)), nullptr, this));
  auto* modelRow = new QWidget(this);
  auto* modelLayout = new QHBoxLayout(modelRow);
  modelLayout->setContentsMargins(0, 0, 0, 0);
  modelLayout->setSpacing(8);
  modelSelect_ = new FilterRowButton(FilterRowMetrics::sidebar(), modelRow);
  modelSelect_->setObjectName(qtText(accessibility_id::kSidebarFilterModel));
  connect(modelSelect_, &FilterRowButton::clicked, this, [this] {
    modelSelect_->clearFocus();
    modelPopover_.focus.controlOpened();
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
  modelClear_->setFocusPolicy(Qt::TabFocus);
  const QString clearText = qtText(localizer_.lookup(Key::filterModelClear));
  setPlainToolTip(*modelClear_, clearText);
  modelClear_->setAccessibleName(clearText);
  connect(modelClear_, &QToolButton::clicked, this, &FilterSection::clearModelFilter);
  modelClear_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(modelClear_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { showModelRowMenu(modelClear_, p); });
  modelLayout->addWidget(modelClear_);
  setTabOrder(modelSelect_, modelClear_);  // Tab → × → Space clears the model filter
  layout.addWidget(modelRow);
}

void FilterSection::buildAspects(QVBoxLayout& layout) {
  layout.addWidget(subsectionHeader(qtText(localizer_.lookup(Key::filterAspectTitle)), nullptr, this));
  auto* aspectRows = new QVBoxLayout;
  aspectRows->setSpacing(0);  // spaced like the saved tags
  layout.addLayout(aspectRows);
  for (const ImageAspectFilter aspect : kAspects) {
    auto* row = new FilterRowButton(FilterRowMetrics::sidebar(), this);
    connect(row, &FilterRowButton::clicked, this, [this, aspect] {
      startFilterTask([aspect](FiltersModel& f) { return f.toggleAspectFilter(aspect); });
    });
    aspectRows_.push_back(row);
    aspectRows->addWidget(row);
  }
}

void FilterSection::buildSwitches(QVBoxLayout& layout) {
  favoritesOnly_ = new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterFavoriteOnly))), this);
  favoritesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterFavoriteOnly));
  favoritesOnly_->setFocusPolicy(Qt::TabFocus);
  // clicked, never toggled: a programmatic set must not call the store.
  connect(favoritesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startFilterTask([checked](FiltersModel& f) { return f.setOnlyFavoritesFilter(checked); });
  });
  layout.addWidget(favoritesOnly_);
  deleteCandidatesOnly_ =
      new QCheckBox(mnemonicSafe(qtText(localizer_.lookup(Key::filterDeleteCandidatesOnly))), this);
  deleteCandidatesOnly_->setObjectName(qtText(accessibility_id::kSidebarFilterDeleteCandidatesOnly));
  deleteCandidatesOnly_->setFocusPolicy(Qt::TabFocus);
  connect(deleteCandidatesOnly_, &QCheckBox::clicked, this, [this](bool checked) {
    startFilterTask([checked](FiltersModel& f) { return f.setOnlyDeleteCandidatesFilter(checked); });
  });
  layout.addWidget(deleteCandidatesOnly_);
}

void FilterSection::setUpPopovers() {
  using Presentation = ImageLibraryPresentationState;
  tagPopover_.isPresented = &Presentation::isTagAdditionPopoverPresented;
  tagPopover_.isOtherPresented = &Presentation::isModelSelectionPopoverPresented;
  tagPopover_.control = addTag_;
  tagPopover_.make = [this] {
    return new FilterTagAdditionPanel(popoverModels(), models_.results, models_.concepts, localizer_,
                                      tagConceptManagement_, this);
  };
  modelPopover_.isPresented = &Presentation::isModelSelectionPopoverPresented;
  modelPopover_.isOtherPresented = &Presentation::isTagAdditionPopoverPresented;
  modelPopover_.control = modelSelect_;
  modelPopover_.make = [this] { return new ModelSelectionPanel(popoverModels(), localizer_, this); };
  for (Popover* popover : {&tagPopover_, &modelPopover_}) {
    popover->lastPresented = flags(*popover).isOwnPresented;
  }
  connect(&models_.presentation, &Presentation::isTagAdditionPopoverPresentedChanged, this,
          [this] { followPresentedFlag(tagPopover_); });
  connect(&models_.presentation, &Presentation::isModelSelectionPopoverPresentedChanged, this,
          [this] { followPresentedFlag(modelPopover_); });
}

void FilterSection::followModels() {
  const auto schedule = [this] { updateSoon_.schedule(); };
  // The saved tags are no filter, so filtersChanged leaves them out; the section lists them.
  connect(&models_.filters, &FiltersModel::savedFilterTagsChanged, this, schedule);
  connect(&models_.filters, &FiltersModel::filtersChanged, this, schedule);
  connect(&models_.presentation, &ImageLibraryPresentationState::isFilterTagListExpandedChanged, this,
          schedule);
}

FilterSection::~FilterSection() {
  // The popovers are windows of their own; they go first, and nothing of the models reaches the
  // section while it goes.
  for (const QObject* model :
       std::initializer_list<const QObject*>{&models_.filters, &models_.presentation}) {
    disconnect(model, nullptr, this, nullptr);
  }
  for (const Popover* popover : {&tagPopover_, &modelPopover_}) {
    if (!popover->panel) continue;
    disconnect(popover->panel, nullptr, this, nullptr);
    delete popover->panel.data();
  }
}

FilterTagAdditionPanel* FilterSection::tagPopover() const {
  return static_cast<FilterTagAdditionPanel*>(tagPopover_.panel.data());
}
ModelSelectionPanel* FilterSection::modelPopover() const {
  return static_cast<ModelSelectionPanel*>(modelPopover_.panel.data());
}

void FilterSection::startFilterTask(std::function<QCoro::Task<void>(FiltersModel&)> work) {
  // The flow may outlive the section, never the model.
  models_.context.startDetached(
      [filters = &models_.filters, work = std::move(work)] { return work(*filters); });
}

FilterPopoverModels FilterSection::popoverModels() const {
  return {models_.suggestions, models_.filters, models_.presentation, models_.context};
}

void FilterSection::applyStoreState() {
  updateSoon_.cancel();
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
  const bool hasMore =
      models_.filters.savedFilterTags().size() > StoreProjections::kCollapsedSavedFilterTagCount;
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
                       modelPopover_.focus.controlOpened();
                       models_.presentation.presentModelSelectionPopover();
                     },
                     [this] { clearModelFilter(); }, localizer_));
  menu.exec(source->mapToGlobal(position));
}

// ---- Popovers and the focus return ----

PopoverFlags FilterSection::flags(const Popover& popover) const {
  const auto& presentation = models_.presentation;
  return {(presentation.*popover.isPresented)(), (presentation.*popover.isOtherPresented)()};
}

void FilterSection::focusAfterYield(Popover& popover) {
  popover.control->clearFocus();
  QPointer<QWidget> target(popover.control);
  QTimer::singleShot(0, this, [this, &popover, target] {
    if (target && popover.focus.shouldFocusAfterYield(flags(popover))) target->setFocus(Qt::PopupFocusReason);
  });
}

void FilterSection::followPresentedFlag(Popover& popover) {
  const bool presented = flags(popover).isOwnPresented;
  if (presented == popover.lastPresented) return;
  popover.lastPresented = presented;
  if (popover.focus.presentedChanged(presented, flags(popover)) ==
      PopoverFocusReturn::Decision::focusAfterYield) {
    focusAfterYield(popover);
  }
  if (presented) {
    if (popover.panel) return;
    FilterPopover* panel = popover.make();
    connect(panel, &FilterPopover::contentShown, this, [&popover] { popover.focus.contentShown(); });
    connect(panel, &FilterPopover::contentHidden, this, [this, &popover] {
      if (popover.focus.contentHidden(flags(popover)) == PopoverFocusReturn::Decision::focusAfterYield) {
        focusAfterYield(popover);
      }
    });
    popover.panel = panel;
    panel->showBeside(*popover.control);
  } else if (popover.panel) {
    FilterPopover* panel = popover.panel;
    popover.panel = nullptr;
    panel->hide();
    panel->deleteLater();
  }
}

void FilterSection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;
  if (models_.context.featureAvailability().isTagConceptEnabled) {
    models_.context.startDetached([concepts = &models_.concepts] { return concepts->loadTagConcepts(); });
  }
}

}  // namespace lorvex::ui
