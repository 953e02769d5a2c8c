#include "ui/detail/image_tag_concept_section.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "store/concepts/tag_concepts_model.h"
#include "store/context/store_context.h"
#include "store/library/library_model.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/detail_fonts.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/tag_chip_group.h"
#include "ui/detail/tag_concept_management_panel.h"

namespace lorvex::ui {
namespace {

using Key = AppLocalizationKey;

// The management panel in a popup window: any close (a click outside, Escape) reports back.
class ManagementPopup : public QWidget {
 public:
  ManagementPopup(TagConceptsModel& concepts, std::vector<std::string> paths,
                  const AppLocalization& localization, std::function<void()> onClose, QWidget* parent)
      : QWidget(parent, Qt::Popup), onClose_(std::move(onClose)) {
    setObjectName("detail.concepts.managementPopup");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    auto* panel = new TagConceptManagementPanel(concepts, std::move(paths), &localization, this);
    panel->setFixedSize(440, 560);
    layout->addWidget(panel);
  }

 protected:
  void hideEvent(QHideEvent* event) override {
    QWidget::hideEvent(event);
    if (onClose_) std::exchange(onClose_, {})();
  }

 private:
  std::function<void()> onClose_;
};

}  // namespace

ImageTagConceptSection::ImageTagConceptSection(TagConceptsModel& concepts, const LibraryModel& library,
                                               StoreContext& context, const AppLocalization* localization,
                                               QWidget* parent)
    : QWidget(parent),
      model_(concepts),
      library_(library),
      context_(context),
      localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.concepts");
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(8);

  auto* header = new QHBoxLayout();
  header->setContentsMargins(0, 0, 0, 0);
  auto* title = makePlainLabel(qtText(localization_.lookup(Key::tagConceptTitle)), this);
  title->setFont(detailSectionTitleFont());
  header->addWidget(title);
  header->addStretch(1);
  manage_ = new QToolButton(this);
  manage_->setObjectName("detail.concepts.manage");
  manage_->setAutoRaise(true);
  manage_->setIcon(symbolIcon("slider.horizontal.3"));
  manage_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const QString manageText = qtText(localization_.lookup(Key::tagConceptManage));
  manage_->setAccessibleName(manageText);
  setPlainToolTip(*manage_, manageText);
  header->addWidget(manage_);
  column->addLayout(header);
  connect(manage_, &QToolButton::clicked, this, &ImageTagConceptSection::presentManagement);

  empty_ = makePlainLabel(qtText(localization_.lookup(Key::tagConceptEmpty)), this);
  empty_->setObjectName("detail.concepts.empty");
  empty_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*empty_, roleColor(ColorRole::secondary, empty_->palette()));
  column->addWidget(empty_);

  chips_ = new TagChipGroup(QString(), this);
  chips_->setChipFactory([this](MetadataChipButton& chip) {
    connect(&chip, &MetadataChipButton::clicked, this, [this, &chip] {
      const int index = chips_->chipIndex(&chip);
      if (index < 0 || static_cast<std::size_t>(index) >= concepts_.size()) return;
      TagConceptsModel* model = &model_;
      const std::int64_t conceptID = concepts_[static_cast<std::size_t>(index)].id;
      // The state the chip showed when it was drawn decides: a click asks for the opposite.
      const bool assign = !assigned_[static_cast<std::size_t>(index)];
      const std::vector<std::string> paths{path_};
      context_.startDetached([model, conceptID, assign, paths]() -> QCoro::Task<void> {
        std::int64_t id = conceptID;
        std::vector<std::string> imagePaths = paths;
        bool value = assign;
        co_await model->setManualTagConceptAssignment(id, imagePaths, value);
      });
    });
  });
  connect(chips_, &TagChipGroup::chipsAdded, this, [this] { refresh(); });
  column->addWidget(chips_);

  for (const auto changed :
       {&TagConceptsModel::tagConceptsChanged, &TagConceptsModel::manualTagConceptAssignmentsChanged,
        &TagConceptsModel::manualTagConceptAssignmentScopePathsChanged,
        &TagConceptsModel::isTagConceptMutationInProgressChanged}) {
    connect(&model_, changed, this, &ImageTagConceptSection::refresh);
  }
  connect(&context_, &StoreContext::needsLiveServicePreparationChanged, this,
          &ImageTagConceptSection::refresh);
  connect(&library_, &LibraryModel::isPreparingLibraryChanged, this, &ImageTagConceptSection::refresh);
  refresh();
}

ImageTagConceptSection::~ImageTagConceptSection() {
  // Deleted while this section is whole: its close report must not reach a half-destroyed one.
  delete popup_.data();
}

void ImageTagConceptSection::setImagePath(const std::string& path) {
  if (path == path_) return;
  path_ = path;
  startLoad();
  refresh();
}

void ImageTagConceptSection::startLoad() {
  isLoadCurrent_ = true;
  TagConceptsModel* model = &model_;
  const std::vector<std::string> paths{path_};
  load_.restart(context_, [model, paths](std::stop_token stop) -> QCoro::Task<void> {
    co_await model->loadTagConcepts();
    if (stop.stop_requested()) co_return;
    std::vector<std::string> imagePaths = paths;
    co_await model->loadManualTagConceptAssignments(imagePaths);
  });
}

void ImageTagConceptSection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous() || isLoadCurrent_) return;
  // Posted: the host may be about to name another image in this same turn, which loads anyway.
  QPointer<ImageTagConceptSection> self(this);
  QTimer::singleShot(0, this, [self] {
    if (self && self->isVisible() && !self->isLoadCurrent_ && !self->path_.empty()) self->startLoad();
  });
}

void ImageTagConceptSection::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) isLoadCurrent_ = false;
}

void ImageTagConceptSection::refresh() {
  const TagConceptsModel& model = model_;
  concepts_ = model.tagConcepts();
  const std::vector<std::string> paths{path_};
  const bool disabled = context_.needsLiveServicePreparation() || library_.isPreparingLibrary() ||
                        model.isTagConceptMutationInProgress();
  std::vector<std::string> names;
  std::vector<std::string> identifiers;
  assigned_.clear();
  for (const TagConcept& concept_ : concepts_) {
    names.push_back(concept_.displayName);
    identifiers.push_back("detail.concept." + std::to_string(concept_.id));
    assigned_.push_back(!path_.empty() && model.manualTagConceptAssignmentCount(concept_.id, paths) == 1);
  }
  chips_->setTags(names, identifiers);
  for (std::size_t i = 0; i < chips_->chips().size(); ++i) {
    MetadataChipButton& chip = *chips_->chips()[i];
    chip.setSelected(assigned_[i]);
    chip.setEnabled(!disabled);
    const QString help = qtText(localization_.lookup(assigned_[i] ? Key::tagConceptAssignmentRemove
                                                                  : Key::tagConceptAssignmentAssign));
    setPlainToolTip(chip, help);
    chip.setAccessibleName(qtText(concepts_[i].displayName));
  }
  empty_->setVisible(concepts_.empty());
}

void ImageTagConceptSection::presentManagement() {
  if (popup_) return;
  isManagementPresented_ = true;
  QPointer<ImageTagConceptSection> self(this);
  auto* popup = new ManagementPopup(
      model_, {path_}, localization_,
      [self] {
        if (self) self->isManagementPresented_ = false;
      },
      this);
  popup_ = popup;
  popup->adjustSize();
  // Beside the button's trailing edge, moved back onto the screen when it would leave it.
  QPoint position = manage_->mapToGlobal(QPoint(manage_->width(), 0));
  const QScreen* screen = manage_->screen() ? manage_->screen() : QGuiApplication::primaryScreen();
  if (screen) {
    const QRect available = screen->availableGeometry();
    position.setX(std::clamp(position.x(), available.left(),
                             std::max(available.left(), available.right() - popup->width())));
    position.setY(std::clamp(position.y(), available.top(),
                             std::max(available.top(), available.bottom() - popup->height())));
  }
  popup->move(position);
  popup->show();
}

}  // namespace lorvex::ui
