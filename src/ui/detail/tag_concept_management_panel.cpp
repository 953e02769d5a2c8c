#include "ui/detail/tag_concept_management_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "model/text/whitespace.h"
#include "store/concepts/tag_concepts_model.h"
#include "ui/common/accessibility_identifiers.h"
#include "ui/common/eliding_label.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

QString keyName(Key key) {
  return qtText(std::string(keyString(key)));
}

QLabel* makeHeading(const QString& text, QWidget* parent) {
  auto* label = makePlainLabel(text, parent);
  label->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
  return label;
}

QLineEdit* makeField(Key placeholder, const AppLocalization& localization, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(keyName(placeholder));
  field->setPlaceholderText(qtText(localization.lookup(placeholder)));
  field->setClearButtonEnabled(false);
  return field;
}

QPushButton* makeButton(Key title, const char* symbol, const AppLocalization& localization, QWidget* parent) {
  auto* button = new QPushButton(parent);
  button->setObjectName(keyName(title));
  const QString text = qtText(localization.lookup(title));
  button->setText(mnemonicSafe(text));
  button->setAccessibleName(text);
  if (symbol) button->setIcon(symbolIcon(symbol));
  button->setAutoDefault(false);
  return button;
}

// The concept picker: the chosen name on one line, cut with "…" where the panel is narrower than
// it, so a long name never widens the panel; the chevrons stay at the trailing end. The whole name
// is its accessible name, and its tooltip while cut.
class ConceptPickerButton final : public QToolButton {
 public:
  using QToolButton::QToolButton;

  void setName(const QString& name) {
    name_ = name;
    setAccessibleName(name);
    showName();
    updateGeometry();
  }

  QSize sizeHint() const override {
    return {chrome() + std::min(fontMetrics().horizontalAdvance(name_), kPreferredNameWidth),
            QToolButton::sizeHint().height()};
  }
  QSize minimumSizeHint() const override {
    return {chrome() + fontMetrics().horizontalAdvance(QString(3, QChar(0x2026))),
            QToolButton::sizeHint().height()};
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QToolButton::resizeEvent(event);
    showName();
  }

 private:
  static constexpr int kPreferredNameWidth = 240;

  // The width the button takes besides the text it shows: padding, chevrons and their gaps.
  int chrome() const {
    return QToolButton::sizeHint().width() - fontMetrics().size(Qt::TextShowMnemonic, text()).width();
  }

  void showName() {
    const QString shown = fontMetrics().elidedText(name_, Qt::ElideRight, std::max(0, width() - chrome()));
    if (mnemonicSafe(shown) != text()) setText(mnemonicSafe(shown));
    setPlainToolTip(*this, shown == name_ ? QString() : name_);
  }

  QString name_;
};

}  // namespace

TagConceptManagementPanel::TagConceptManagementPanel(TagConceptsModel& concepts,
                                                     std::vector<std::string> imagePaths,
                                                     const AppLocalization* localization, QWidget* parent)
    : QScrollArea(parent),
      concepts_(concepts),
      localization_(localization ? *localization : AppLocalization::live()),
      imagePaths_(std::move(imagePaths)) {
  setObjectName("tagConcept.panel");
  setWidgetResizable(true);
  setFrameShape(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  build();
  seenConcepts_ = concepts_.tagConcepts();
  for (const auto changed : {&TagConceptsModel::tagConceptAliasesByIDChanged,
                             &TagConceptsModel::isTagConceptMutationInProgressChanged,
                             &TagConceptsModel::manualTagConceptAssignmentsChanged,
                             &TagConceptsModel::manualTagConceptAssignmentScopePathsChanged}) {
    connect(&concepts_, changed, this, &TagConceptManagementPanel::refresh);
  }
  connect(&concepts_, &TagConceptsModel::tagConceptsChanged, this,
          &TagConceptManagementPanel::onTagConceptsChanged);
  refresh();
}

TagConceptManagementPanel::~TagConceptManagementPanel() = default;

void TagConceptManagementPanel::build() {
  auto* content = new QWidget(this);
  content->setObjectName("tagConcept.panel.content");
  auto* column = new QVBoxLayout(content);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(14);

  auto* title = makePlainLabel(qtText(localization_.lookup(Key::tagConceptTitle)), content);
  title->setFont(roleFont(FontRole::headline));
  column->addWidget(title);
  auto* explanation = new WrappedTextLabel(qtText(localization_.lookup(Key::tagConceptExplanation)), content);
  explanation->setFont(roleFont(FontRole::caption));
  setForegroundColor(*explanation, roleColor(ColorRole::secondary, explanation->palette()));
  column->addWidget(explanation);

  column->addLayout(makeActionRow(createField_, createButton_, Key::tagConceptCreatePlaceholder,
                                  Key::tagConceptCreate, "plus", &TagConceptManagementPanel::create,
                                  content));

  emptyState_ = new QWidget(content);
  emptyState_->setObjectName(keyName(Key::tagConceptEmpty));
  emptyState_->setMinimumHeight(140);
  auto* emptyColumn = new QVBoxLayout(emptyState_);
  emptyColumn->addStretch(1);
  auto* emptyIcon = new QLabel(emptyState_);
  emptyIcon->setAlignment(Qt::AlignCenter);
  emptyIcon->setPixmap(
      symbolPixmap("tag.square", 32, roleColor(ColorRole::secondary, palette()), devicePixelRatioF()));
  emptyColumn->addWidget(emptyIcon);
  auto* emptyText = makePlainLabel(qtText(localization_.lookup(Key::tagConceptEmpty)), emptyState_);
  emptyText->setAlignment(Qt::AlignCenter);
  emptyText->setFont(roleFont(FontRole::title3, QFont::DemiBold));
  emptyColumn->addWidget(emptyText);
  emptyColumn->addStretch(1);
  column->addWidget(emptyState_);

  picker_ = new ConceptPickerButton(content);
  picker_->setObjectName("tagConcept.picker");
  picker_->setPopupMode(QToolButton::InstantPopup);
  picker_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  picker_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  picker_->setMinimumHeight(34);
  picker_->setLayoutDirection(Qt::RightToLeft);  // the chevron at the trailing end
  picker_->setIcon(symbolIcon("chevron.up.chevron.down"));
  // The chevrons already say it opens a menu; the style's own arrow would say it twice.
  picker_->setStyleSheet(QStringLiteral("QToolButton { padding: 0px 10px; border: none; border-radius: 7px; "
                                        "background-color: %1; }"
                                        "QToolButton::menu-indicator { image: none; width: 0px; }")
                             .arg(roleColor(ColorRole::controlBackground, palette()).name(QColor::HexArgb)));
  pickerMenu_ = new QMenu(picker_);
  pickerMenu_->setObjectName("tagConcept.picker.menu");
  picker_->setMenu(pickerMenu_);
  column->addWidget(picker_);

  selectedBlock_ = new QWidget(content);
  auto* selectedColumn = new QVBoxLayout(selectedBlock_);
  selectedColumn->setContentsMargins(0, 0, 0, 0);
  selectedColumn->setSpacing(14);

  selectedColumn->addLayout(makeActionRow(renameField_, renameButton_, Key::tagConceptNamePlaceholder,
                                          Key::commonRename, nullptr, &TagConceptManagementPanel::rename,
                                          selectedBlock_));

  auto* aliases = new QWidget(selectedBlock_);
  auto* aliasColumn = new QVBoxLayout(aliases);
  aliasColumn->setContentsMargins(0, 0, 0, 0);
  aliasColumn->setSpacing(8);
  aliasColumn->addWidget(makeHeading(qtText(localization_.lookup(Key::tagConceptAliasesTitle)), aliases));
  aliasRows_ = new QVBoxLayout();
  aliasRows_->setSpacing(4);
  aliasColumn->addLayout(aliasRows_);
  aliasColumn->addLayout(makeActionRow(aliasField_, aliasButton_, Key::tagConceptAliasPlaceholder,
                                       Key::tagConceptAliasAdd, "plus", &TagConceptManagementPanel::addAlias,
                                       aliases));
  selectedColumn->addWidget(aliases);

  assignmentBlock_ = new QWidget(selectedBlock_);
  auto* assignmentColumn = new QVBoxLayout(assignmentBlock_);
  assignmentColumn->setContentsMargins(0, 0, 0, 0);
  assignmentColumn->setSpacing(8);
  assignmentColumn->addWidget(
      makeHeading(qtText(localization_.lookup(Key::tagConceptAssignmentTitle)), assignmentBlock_));
  scopeText_ = new WrappedTextLabel({}, assignmentBlock_);
  scopeText_->setObjectName(keyName(Key::tagConceptAssignmentScope));
  scopeText_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*scopeText_, roleColor(ColorRole::secondary, scopeText_->palette()));
  assignmentColumn->addWidget(scopeText_);
  auto* assignmentButtons = new QHBoxLayout();
  assignButton_ = makeButton(Key::tagConceptAssignmentAssign, nullptr, localization_, assignmentBlock_);
  unassignButton_ = makeButton(Key::tagConceptAssignmentRemove, nullptr, localization_, assignmentBlock_);
  assignmentButtons->addWidget(assignButton_);
  assignmentButtons->addWidget(unassignButton_);
  assignmentButtons->addStretch(1);
  assignmentColumn->addLayout(assignmentButtons);
  selectedColumn->addWidget(assignmentBlock_);
  connect(assignButton_, &QPushButton::clicked, this, [this] { setAssignment(true); });
  connect(unassignButton_, &QPushButton::clicked, this, [this] { setAssignment(false); });

  column->addWidget(selectedBlock_);
  column->addStretch(1);
  setWidget(content);
}

QHBoxLayout* TagConceptManagementPanel::makeActionRow(QLineEdit*& field, QPushButton*& button,
                                                      AppLocalizationKey placeholder,
                                                      AppLocalizationKey title, const char* symbol,
                                                      void (TagConceptManagementPanel::*action)(),
                                                      QWidget* parent) {
  auto* row = new QHBoxLayout();
  row->setSpacing(8);
  field = makeField(placeholder, localization_, parent);
  button = makeButton(title, symbol, localization_, parent);
  row->addWidget(field, 1);
  row->addWidget(button);
  // Return runs the action past the button's own gates: only the action's blank-text guard applies.
  connect(field, &QLineEdit::returnPressed, this, action);
  connect(button, &QPushButton::clicked, this, action);
  connect(field, &QLineEdit::textChanged, this, &TagConceptManagementPanel::updateControls);
  return row;
}

void TagConceptManagementPanel::showEvent(QShowEvent* event) {
  QScrollArea::showEvent(event);
  if (appeared_) return;
  appeared_ = true;
  TagConceptsModel* model = &concepts_;
  QPointer<TagConceptManagementPanel> self(this);
  appearanceLoad_.restart(concepts_.context(), [model, self](std::stop_token stop) -> QCoro::Task<void> {
    co_await model->loadTagConcepts();
    if (stop.stop_requested() || !self) co_return;
    self->selectConcept(keepValidTagConceptSelection(self->selectedConceptID_, model->tagConcepts()));
  });
  restartAssignmentLoad();
}

void TagConceptManagementPanel::selectConcept(std::optional<std::int64_t> conceptID) {
  if (conceptID == selectedConceptID_) return;
  selectedConceptID_ = conceptID;
  syncRenameField();
  restartAssignmentLoad();
  refresh();
}

void TagConceptManagementPanel::onTagConceptsChanged() {
  const std::vector<TagConcept>& concepts = concepts_.tagConcepts();
  if (concepts == seenConcepts_) return;
  seenConcepts_ = concepts;
  if (appeared_) {
    const auto kept = keepValidTagConceptSelection(selectedConceptID_, concepts);
    if (kept != selectedConceptID_) {
      selectedConceptID_ = kept;
      restartAssignmentLoad();
    }
    syncRenameField();
  }
  refresh();
}

void TagConceptManagementPanel::syncRenameField() {
  renameField_->setText(qtText(tagConceptRenameFieldText(selectedConceptID_, concepts_.tagConcepts())));
}

void TagConceptManagementPanel::restartAssignmentLoad() {
  if (!appeared_) return;
  TagConceptAssignmentLoadID id{selectedConceptID_, imagePaths_};
  if (loadID_ == id) return;
  loadID_ = id;
  if (!id.conceptID) {
    assignmentLoad_.stop();
    return;
  }
  TagConceptsModel* model = &concepts_;
  assignmentLoad_.restart(concepts_.context(), [model, id](std::stop_token) -> QCoro::Task<void> {
    // Both loads run even when the key changed meanwhile: the model's generations drop what is
    // stale, and a restarted load asks again anyway.
    std::int64_t conceptID = *id.conceptID;
    co_await model->loadTagConceptAliases(conceptID);
    std::vector<std::string> paths = id.imagePaths;
    co_await model->loadManualTagConceptAssignments(paths);
  });
}

void TagConceptManagementPanel::refresh() {
  const std::vector<TagConcept>& concepts = concepts_.tagConcepts();
  const TagConcept* selected = selectedTagConcept(selectedConceptID_, concepts);
  emptyState_->setVisible(concepts.empty());
  picker_->setVisible(!concepts.empty());
  selectedBlock_->setVisible(!concepts.empty() && selected);
  rebuildPicker();
  rebuildAliases();
  assignmentBlock_->setVisible(!imagePaths_.empty());
  if (selected && !imagePaths_.empty()) {
    const int assigned = concepts_.manualTagConceptAssignmentCount(selected->id, imagePaths_);
    scopeText_->setText(qtText(localization_.lookup(
        Key::tagConceptAssignmentScope,
        {static_cast<std::int64_t>(assigned), static_cast<std::int64_t>(imagePaths_.size())})));
  }
  updateControls();
}

void TagConceptManagementPanel::rebuildPicker() {
  const std::vector<TagConcept>& concepts = concepts_.tagConcepts();
  const TagConcept* selected = selectedTagConcept(selectedConceptID_, concepts);
  static_cast<ConceptPickerButton*>(picker_)->setName(
      qtText(selected ? selected->displayName : localization_.lookup(Key::tagConceptTitle)));
  pickerMenu_->clear();
  for (const TagConcept& concept_ : concepts) {
    QAction* action = pickerMenu_->addAction(mnemonicSafe(qtText(concept_.displayName)));
    action->setObjectName(QStringLiteral("tagConcept.picker.%1").arg(concept_.id));
    action->setCheckable(true);
    action->setChecked(selected && selected->id == concept_.id);
    const std::int64_t id = concept_.id;
    connect(action, &QAction::triggered, this, [this, id] { selectConcept(id); });
  }
}

void TagConceptManagementPanel::rebuildAliases() {
  std::vector<std::string> tags;
  if (selectedConceptID_) {
    const auto& byID = concepts_.tagConceptAliasesByID();
    if (const auto found = byID.find(*selectedConceptID_); found != byID.end()) {
      for (const TagConceptAlias& alias : found->second) tags.push_back(alias.tag);
    }
  }
  // The rows stay while the list is the same (a mutation starting or ending changes only their
  // enabled state), and rows that go are deleted later: a remove button starts the mutation that
  // rebuilds them from inside its own click.
  if (shownAliasConceptID_ == selectedConceptID_ && shownAliasTags_ == tags) return;
  shownAliasConceptID_ = selectedConceptID_;
  shownAliasTags_ = tags;
  while (QLayoutItem* item = aliasRows_->takeAt(0)) {
    if (QWidget* row = item->widget()) {
      row->hide();
      row->setObjectName(QString());
      for (QObject* child : row->findChildren<QObject*>()) child->setObjectName(QString());
      row->deleteLater();
    }
    delete item;
  }
  aliasRemoveButtons_.clear();
  for (const std::string& tag : tags) {
    auto* row = new QWidget(selectedBlock_);
    row->setObjectName(QStringLiteral("tagConcept.alias.") + qtText(stableIdentifierHash(tag)));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* icon = new QLabel(row);
    icon->setPixmap(symbolPixmap("tag", 14, roleColor(ColorRole::secondary, palette()), devicePixelRatioF()));
    auto* text = new ElidingLabel(qtText(tag), row);
    layout->addWidget(icon);
    layout->addWidget(text, 1);
    auto* remove = new QToolButton(row);
    remove->setObjectName(QStringLiteral("tagConcept.alias.remove.") + qtText(stableIdentifierHash(tag)));
    remove->setAutoRaise(true);
    remove->setIcon(symbolIcon("minus.circle"));
    remove->setAccessibleName(qtText(localization_.lookup(Key::tagConceptAliasRemove, {tag})));
    connect(remove, &QToolButton::clicked, this, [this, tag] { removeAlias(tag); });
    layout->addWidget(remove);
    aliasRows_->addWidget(row);
    aliasRemoveButtons_.push_back(remove);
  }
}

void TagConceptManagementPanel::updateControls() {
  const std::string createName = stdText(createField_->text());
  const std::string renameValue = stdText(renameField_->text());
  const std::string aliasValue = stdText(aliasField_->text());
  const TagConceptManagementControlStates states = tagConceptManagementControlStates(
      {concepts_.isTagConceptMutationInProgress(), createName, renameValue, aliasValue,
       selectedTagConcept(selectedConceptID_, concepts_.tagConcepts())});
  createButton_->setEnabled(states.canCreate);
  renameButton_->setEnabled(states.canRename);
  aliasButton_->setEnabled(states.canAddAlias);
  for (QToolButton* remove : aliasRemoveButtons_) remove->setEnabled(states.canRemoveAlias);
  assignButton_->setEnabled(states.canChangeAssignment);
  unassignButton_->setEnabled(states.canChangeAssignment);
}

void TagConceptManagementPanel::create() {
  const auto name = text::normalizedWhitespace(stdText(createField_->text()));
  if (!name) return;
  TagConceptsModel* model = &concepts_;
  QPointer<TagConceptManagementPanel> self(this);
  const std::string value = *name;
  concepts_.context().startDetached([model, self, value]() -> QCoro::Task<void> {
    std::string displayName = value;
    const std::optional<TagConcept> created = co_await model->createTagConcept(displayName);
    if (!created || !self) co_return;
    self->createField_->clear();
    self->selectConcept(created->id);
  });
}

void TagConceptManagementPanel::rename() {
  const auto name = text::normalizedWhitespace(stdText(renameField_->text()));
  const TagConcept* selected = selectedTagConcept(selectedConceptID_, concepts_.tagConcepts());
  if (!name || !selected) return;
  TagConceptsModel* model = &concepts_;
  const std::int64_t conceptID = selected->id;
  const std::string value = *name;
  concepts_.context().startDetached([model, conceptID, value]() -> QCoro::Task<void> {
    std::int64_t id = conceptID;
    std::string displayName = value;
    co_await model->renameTagConcept(id, displayName);
  });
}

void TagConceptManagementPanel::addAlias() {
  const auto tag = text::normalizedWhitespace(stdText(aliasField_->text()));
  const TagConcept* selected = selectedTagConcept(selectedConceptID_, concepts_.tagConcepts());
  if (!tag || !selected) return;
  TagConceptsModel* model = &concepts_;
  QPointer<TagConceptManagementPanel> self(this);
  const std::int64_t conceptID = selected->id;
  const std::string value = *tag;
  const QString typed = aliasField_->text();
  concepts_.context().startDetached([model, self, conceptID, value, typed]() -> QCoro::Task<void> {
    std::int64_t id = conceptID;
    std::string aliasTag = value;
    const bool added = co_await model->addTagConceptAlias(id, aliasTag);
    // Only a taken alias empties the field, and only when nothing else was typed meanwhile.
    if (added && self && self->aliasField_->text() == typed) self->aliasField_->clear();
  });
}

void TagConceptManagementPanel::removeAlias(const std::string& tag) {
  if (!selectedConceptID_) return;
  TagConceptsModel* model = &concepts_;
  const std::int64_t conceptID = *selectedConceptID_;
  concepts_.context().startDetached([model, conceptID, tag]() -> QCoro::Task<void> {
    std::int64_t id = conceptID;
    std::string aliasTag = tag;
    co_await model->removeTagConceptAlias(id, aliasTag);
  });
}

void TagConceptManagementPanel::setAssignment(bool assign) {
  if (!selectedConceptID_) return;
  TagConceptsModel* model = &concepts_;
  const std::int64_t conceptID = *selectedConceptID_;
  const std::vector<std::string> paths = imagePaths_;
  concepts_.context().startDetached([model, conceptID, paths, assign]() -> QCoro::Task<void> {
    std::int64_t id = conceptID;
    std::vector<std::string> imagePaths = paths;
    bool value = assign;
    co_await model->setManualTagConceptAssignment(id, imagePaths, value);
  });
}

TagConceptManagementPanelFactory tagConceptManagementPanelFactory(const AppLocalization* localization) {
  return [localization](TagConceptsModel& concepts, std::vector<std::string> imagePaths,
                        QWidget* parent) -> QWidget* {
    return new TagConceptManagementPanel(concepts, std::move(imagePaths), localization, parent);
  };
}

}  // namespace lorvex::ui
