#include "ui/sidebar/suggestion_popovers.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "model/text/whitespace.h"
#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/presentation/image_library_presentation_state.h"
#include "store/results/results_model.h"
#include "store/suggestions/suggestions_model.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/sidebar/filter_row_list.h"
#include "ui/sidebar/popover_placement.h"
#include "ui/sidebar/sidebar_widget_helpers.h"
#include "ui/sidebar/suggestion_load_pipeline.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

constexpr int kPanelPadding = 14;
constexpr int kPanelSpacing = 14;

// "Searching" with a spinner, or the empty state with its symbol, centred in the free space.
QWidget* centredState(QWidget* parent, QWidget* top, const QString& text) {
  auto* page = new QWidget(parent);
  auto* layout = new QVBoxLayout(page);
  layout->addStretch(1);
  layout->addWidget(top, 0, Qt::AlignHCenter);
  auto* label = new WrappedTextLabel(text, page);
  label->setAlignment(Qt::AlignHCenter);
  setForegroundColor(*label, roleColor(ColorRole::secondary));
  layout->addWidget(label, 0, Qt::AlignHCenter);
  layout->addStretch(1);
  return page;
}

QWidget* emptyState(QWidget* parent, std::string_view symbol, const QString& text) {
  auto* icon = new QLabel(parent);
  icon->setPixmap(symbolPixmap(symbol, 28, roleColor(ColorRole::secondary), parent->devicePixelRatioF()));
  return centredState(parent, icon, text);
}

QWidget* loadingState(QWidget* parent, const QString& text) {
  return centredState(parent, new BusyIndicator(BusyIndicator::Size::small, parent), text);
}

QLineEdit* searchField(QWidget* parent, const QString& placeholder, std::string_view identifier) {
  auto* field = new QLineEdit(parent);
  field->setPlaceholderText(placeholder);
  field->setClearButtonEnabled(true);
  field->setObjectName(qtText(identifier));
  return field;
}

}  // namespace

// ---- FilterPopover ----

FilterPopover::FilterPopover(FilterPopoverModels models, const AppLocalization& localizer, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), models_(models), localizer_(localizer) {
  setFixedSize(kFilterPopoverSize);
  setAttribute(Qt::WA_DeleteOnClose, false);
}

FilterPopover::~FilterPopover() = default;

void FilterPopover::showBeside(QWidget& anchor) {
  const QRect anchorRect(anchor.mapToGlobal(QPoint(0, 0)), anchor.size());
  QScreen* screen = anchor.screen() ? anchor.screen() : QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
  setGeometry(filterPopoverGeometry(anchorRect, available, kFilterPopoverSize, anchor.layoutDirection()));
  show();
  raise();
  activateWindow();
}

void FilterPopover::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  panelShown();
  Q_EMIT contentShown();
}

void FilterPopover::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  panelHidden();
  // Closed by Qt (a click outside, Escape) while still presented: the flag follows.
  if (isPresentedInStore()) setPresentedInStore(false);
  Q_EMIT contentHidden();
}

void FilterPopover::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier) {
    finish();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);  // Escape closes a popup
}

void FilterPopover::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), roleColor(ColorRole::textBackground, palette()));
  painter.setPen(roleColor(ColorRole::separator, palette()));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void FilterPopover::finish() {
  setPresentedInStore(false);
}

// ---- FilterTagAdditionPanel ----

FilterTagAdditionPanel::FilterTagAdditionPanel(
    FilterPopoverModels models, const ResultsModel& results, TagConceptsModel& concepts,
    const AppLocalization& localizer, FilterSidebarFactories::ConceptManagementFactory conceptManagement,
    QWidget* parent)
    : FilterPopover(models, localizer, parent),
      resultsModel_(results),
      concepts_(concepts),
      conceptManagement_(std::move(conceptManagement)),
      pipeline_(std::make_unique<SuggestionLoadPipeline>(
          models.context, SuggestionLoadPipeline::tagSuggestionSteps(models.suggestions))) {
  setObjectName("tagPopover.panel");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
  layout->setSpacing(kPanelSpacing);

  auto* header = new QHBoxLayout;
  back_ = new QToolButton(this);
  back_->setIcon(symbolIcon("chevron.backward"));
  back_->setAutoRaise(true);
  back_->setAccessibleName(qtText(localizer.lookup(Key::tagSelectionTitle)));
  back_->hide();
  connect(back_, &QToolButton::clicked, this, [this] { showConceptPage(false); });
  header->addWidget(back_);
  title_ = makePlainLabel(qtText(localizer.lookup(Key::tagSelectionTitle)), this);
  title_->setFont(roleFont(FontRole::headline));
  header->addWidget(title_);
  header->addStretch(1);
  auto* done = new QPushButton(mnemonicSafe(qtText(localizer.lookup(Key::commonDone))), this);
  done->setObjectName(qtText(accessibility_id::kTagPopoverDone));
  done->setAutoDefault(false);
  connect(done, &QPushButton::clicked, this, &FilterTagAdditionPanel::finish);
  header->addWidget(done);
  layout->addLayout(header);

  selectionPage_ = new QWidget(this);
  auto* page = new QVBoxLayout(selectionPage_);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(kPanelSpacing);
  search_ = searchField(selectionPage_, qtText(localizer.lookup(Key::tagSelectionSearchPlaceholder)),
                        accessibility_id::kTagPopoverSearchField);
  connect(search_, &QLineEdit::textChanged, this, [this] { runPipeline(); });
  search_->installEventFilter(this);
  page->addWidget(search_);
  auto* customRow = new QHBoxLayout;
  customRow->setSpacing(8);
  custom_ = searchField(selectionPage_, qtText(localizer.lookup(Key::tagSelectionCustomPlaceholder)),
                        accessibility_id::kTagPopoverCustomTagField);
  custom_->setClearButtonEnabled(false);
  custom_->installEventFilter(this);
  customRow->addWidget(custom_, 1);
  auto* add = new QPushButton(symbolIcon("plus"), mnemonicSafe(qtText(localizer.lookup(Key::commonAdd))),
                              selectionPage_);
  add->setObjectName(qtText(accessibility_id::kTagPopoverAddCustomTag));
  add->setAutoDefault(false);
  connect(add, &QPushButton::clicked, this, &FilterTagAdditionPanel::addCustomTag);
  customRow->addWidget(add);
  page->addLayout(customRow);
  manage_ = new QPushButton(symbolIcon("tag.square"),
                            mnemonicSafe(qtText(localizer.lookup(Key::tagConceptManage))), selectionPage_);
  manage_->setAutoDefault(false);
  manage_->setVisible(models.context.featureAvailability().isTagConceptEnabled &&
                      conceptManagement_ != nullptr);
  connect(manage_, &QPushButton::clicked, this, [this] { showConceptPage(true); });
  page->addWidget(manage_, 0, Qt::AlignLeft);
  page->addWidget(makeDivider(selectionPage_));
  results_ = new QStackedWidget(selectionPage_);
  results_->addWidget(loadingState(results_, qtText(localizer.lookup(Key::commonSearchingSuggestions))));
  results_->addWidget(emptyState(results_, "tag", qtText(localizer.lookup(Key::commonNoSuggestions))));
  listModel_ = new FilterRowListModel(this);
  list_ = new FilterRowListView(
      *listModel_, [this](int row) { activate(row); }, results_);
  list_->setObjectName("tagPopover.list");
  results_->addWidget(list_);
  page->addWidget(results_, 1);
  layout->addWidget(selectionPage_, 1);

  for (const auto signal :
       {&SuggestionsModel::tagSuggestionsChanged, &SuggestionsModel::tagConceptSuggestionsChanged,
        &SuggestionsModel::isTagSuggestionLoadingChanged}) {
    connect(&models.suggestions, signal, this, [this] { reloadSoon_.schedule(); });
  }
  for (const auto signal :
       {&FiltersModel::selectedFilterTagsChanged, &FiltersModel::selectedTagConceptsChanged}) {
    connect(&models.filters, signal, listModel_, &FilterRowListModel::refreshAll);
  }
  reloadSuggestions();
}

// Hidden here, while the panel's own overrides still exist for the hide event.
FilterTagAdditionPanel::~FilterTagAdditionPanel() {
  hide();
}

bool FilterTagAdditionPanel::isPresentedInStore() const {
  return models_.presentation.isTagAdditionPopoverPresented();
}

void FilterTagAdditionPanel::setPresentedInStore(bool presented) {
  models_.presentation.setIsTagAdditionPopoverPresented(presented);
}

bool FilterTagAdditionPanel::eventFilter(QObject* watched, QEvent* event) {
  // Return in the custom field adds the typed tag; it never reaches the panel's Done. In the search
  // field it adds the searched text, and is Done only when nothing was typed.
  if ((watched == custom_ || watched == search_) && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
      if (watched == custom_) {
        addCustomTag();
        return true;
      }
      if (addSearchedTag()) return true;
    }
  }
  return FilterPopover::eventFilter(watched, event);
}

void FilterTagAdditionPanel::panelShown() {
  runPipeline();
  QTimer::singleShot(0, this, [this] {
    if (!conceptPage_) search_->setFocus(Qt::PopupFocusReason);
  });
}

void FilterTagAdditionPanel::panelHidden() {
  pipeline_->cancel();
}

void FilterTagAdditionPanel::runPipeline() {
  if (conceptPage_ || !isVisible()) {
    pipeline_->cancel();
    return;
  }
  pipeline_->run(stdText(search_->text()));
}

void FilterTagAdditionPanel::reloadSuggestions() {
  reloadSoon_.cancel();
  suggestions_ = models_.suggestions.tagFilterSuggestions();
  listModel_->reset(static_cast<int>(suggestions_.size()), [this](int row) {
    const TagFilterSuggestion& suggestion = suggestions_[static_cast<std::size_t>(row)];
    bool selected = false;
    if (const auto* raw = std::get_if<TagSuggestion>(&suggestion.value)) {
      selected = models_.filters.isFilterTagSelected(raw->value);
    } else {
      const auto id = std::get<TagConcept>(suggestion.value).id;
      const auto& concepts = models_.filters.selectedTagConcepts();
      selected =
          std::any_of(concepts.begin(), concepts.end(), [id](const TagConcept& c) { return c.id == id; });
    }
    return tagSuggestionRow(suggestion, selected, localizer_);
  });
  updateResultArea();
}

void FilterTagAdditionPanel::updateResultArea() {
  results_->setCurrentIndex(models_.suggestions.isTagSuggestionLoading() ? 0 : suggestions_.empty() ? 1 : 2);
}

void FilterTagAdditionPanel::activate(int row) {
  if (row < 0 || static_cast<std::size_t>(row) >= suggestions_.size()) return;
  FiltersModel* filters = &models_.filters;
  if (const auto* raw = std::get_if<TagSuggestion>(&suggestions_[static_cast<std::size_t>(row)].value)) {
    std::string value = raw->value;
    models_.context.startDetached([filters, value] { return filters->toggleFilterTag(value); });
  } else {
    TagConcept concept_ = std::get<TagConcept>(suggestions_[static_cast<std::size_t>(row)].value);
    models_.context.startDetached(
        [filters, concept_] { return filters->toggleSelectedTagConcept(concept_); });
  }
}

void FilterTagAdditionPanel::addCustomTag() {
  const std::optional<std::string> tag = text::normalizedWhitespace(stdText(custom_->text()));
  if (!tag) return;  // the field keeps what was typed
  custom_->clear();
  FiltersModel* filters = &models_.filters;
  std::string value = *tag;
  models_.context.startDetached([filters, value] { return filters->addFilterTag(value); });
}

bool FilterTagAdditionPanel::addSearchedTag() {
  const std::optional<std::string> tag = text::normalizedWhitespace(stdText(search_->text()));
  if (!tag) return false;
  // The search text stays, so the suggestion of the tag just added shows its check mark.
  FiltersModel* filters = &models_.filters;
  std::string value = *tag;
  models_.context.startDetached([filters, value] { return filters->addFilterTag(value); });
  return true;
}

void FilterTagAdditionPanel::showConceptPage(bool shown) {
  if (shown == (conceptPage_ != nullptr)) return;
  if (shown) {
    std::vector<std::string> paths;
    for (const RecordRef& record : resultsModel_.selectedRecords()) paths.push_back(record->file.path);
    conceptPage_ = conceptManagement_(concepts_, std::move(paths), this);
    conceptPage_->setObjectName(conceptPage_->objectName().isEmpty()
                                    ? QStringLiteral("tagPopover.conceptPage")
                                    : conceptPage_->objectName());
    static_cast<QVBoxLayout*>(layout())->addWidget(conceptPage_, 1);
    selectionPage_->hide();
    conceptPage_->show();
    title_->setText(qtText(localizer_.lookup(Key::tagConceptTitle)));
    back_->show();
    pipeline_->cancel();
    return;
  }
  conceptPage_->hide();
  conceptPage_->deleteLater();
  conceptPage_ = nullptr;
  selectionPage_->show();
  back_->hide();
  title_->setText(qtText(localizer_.lookup(Key::tagSelectionTitle)));
  QTimer::singleShot(0, this, [this] {
    if (!conceptPage_) search_->setFocus(Qt::OtherFocusReason);
  });
  // The suggestions come again for the unchanged text: a concept made or renamed meanwhile shows.
  runPipeline();
}

// ---- ModelSelectionPanel ----

ModelSelectionPanel::ModelSelectionPanel(FilterPopoverModels models, const AppLocalization& localizer,
                                         QWidget* parent)
    : FilterPopover(models, localizer, parent),
      pipeline_(std::make_unique<SuggestionLoadPipeline>(
          models.context, SuggestionLoadPipeline::modelSuggestionSteps(models.suggestions))) {
  setObjectName("modelPopover.panel");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPanelPadding, kPanelPadding, kPanelPadding, kPanelPadding);
  layout->setSpacing(kPanelSpacing);
  auto* header = new QHBoxLayout;
  auto* title = makePlainLabel(qtText(localizer.lookup(Key::modelSelectionTitle)), this);
  title->setFont(roleFont(FontRole::headline));
  header->addWidget(title);
  header->addStretch(1);
  auto* done = new QPushButton(mnemonicSafe(qtText(localizer.lookup(Key::commonDone))), this);
  done->setObjectName("modelPopover.done");
  done->setAutoDefault(false);
  connect(done, &QPushButton::clicked, this, &ModelSelectionPanel::finish);
  header->addWidget(done);
  layout->addLayout(header);
  search_ = searchField(this, qtText(localizer.lookup(Key::modelSelectionSearchPlaceholder)),
                        accessibility_id::kModelPopoverSearchField);
  connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
    if (isVisible()) pipeline_->run(stdText(text));
  });
  layout->addWidget(search_);
  layout->addWidget(makeDivider(this));
  results_ = new QStackedWidget(this);
  results_->addWidget(loadingState(results_, qtText(localizer.lookup(Key::commonSearchingSuggestions))));
  results_->addWidget(emptyState(results_, "cpu", qtText(localizer.lookup(Key::commonNoSuggestions))));
  listModel_ = new FilterRowListModel(this);
  list_ = new FilterRowListView(
      *listModel_,
      [this](int row) {
        if (row < 0 || static_cast<std::size_t>(row) >= suggestions_.size()) return;
        FiltersModel* filters = &models_.filters;
        std::string value = suggestions_[static_cast<std::size_t>(row)].value;
        models_.context.startDetached([filters, value] { return filters->selectModelSource(value); });
      },
      results_);
  list_->setObjectName("modelPopover.list");
  results_->addWidget(list_);
  layout->addWidget(results_, 1);

  for (const auto signal :
       {&SuggestionsModel::modelSuggestionsChanged, &SuggestionsModel::isModelSuggestionLoadingChanged}) {
    connect(&models.suggestions, signal, this, [this] { reloadSoon_.schedule(); });
  }
  connect(&models.filters, &FiltersModel::selectedModelSourceChanged, listModel_,
          &FilterRowListModel::refreshAll);
  reloadSuggestions();
}

ModelSelectionPanel::~ModelSelectionPanel() {
  hide();
}

bool ModelSelectionPanel::isPresentedInStore() const {
  return models_.presentation.isModelSelectionPopoverPresented();
}

void ModelSelectionPanel::setPresentedInStore(bool presented) {
  models_.presentation.setIsModelSelectionPopoverPresented(presented);
}

void ModelSelectionPanel::panelShown() {
  pipeline_->run(stdText(search_->text()));
  QTimer::singleShot(0, this, [this] { search_->setFocus(Qt::PopupFocusReason); });
}

void ModelSelectionPanel::panelHidden() {
  pipeline_->cancel();
}

void ModelSelectionPanel::reloadSuggestions() {
  reloadSoon_.cancel();
  suggestions_ = models_.suggestions.modelSuggestions();
  listModel_->reset(static_cast<int>(suggestions_.size()), [this](int row) {
    const ModelSuggestion& suggestion = suggestions_[static_cast<std::size_t>(row)];
    return modelSuggestionRow(
        suggestion, isModelSuggestionSelected(suggestion, models_.filters.selectedModelSource()), localizer_);
  });
  updateResultArea();
}

void ModelSelectionPanel::updateResultArea() {
  results_->setCurrentIndex(models_.suggestions.isModelSuggestionLoading() ? 0
                            : suggestions_.empty()                         ? 1
                                                                           : 2);
}

}  // namespace lorvex::ui
