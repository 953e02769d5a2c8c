#include "ui/detail/image_filter_tags_section.h"

#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

#include "store/context/store_context.h"
#include "store/filters/filters_model.h"
#include "store/library/library_model.h"
#include "ui/common/copy_tag_menu_button.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"
#include "ui/detail/detail_fonts.h"
#include "ui/detail/hide_while_changed.h"
#include "ui/detail/metadata_chip_button.h"
#include "ui/detail/tag_chip_group.h"

namespace lorvex::ui {

ImageFilterTagsSection::ImageFilterTagsSection(FiltersModel& filters, const LibraryModel& library,
                                               StoreContext& context, const AppLocalization* localization,
                                               QWidget* parent)
    : QWidget(parent),
      filters_(filters),
      library_(library),
      context_(context),
      localization_(localization ? *localization : AppLocalization::live()) {
  setObjectName("detail.tags");
  using Key = AppLocalizationKey;
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(10);

  auto* title = makePlainLabel(qtText(localization_.lookup(Key::metadataImageTags)), this);
  title->setFont(detailSectionTitleFont());
  column->addWidget(title);

  noTags_ = makePlainLabel(qtText(localization_.lookup(Key::metadataNoTags)), this);
  noTags_->setObjectName("detail.tags.empty");
  noTags_->setFont(roleFont(FontRole::caption));
  setForegroundColor(*noTags_, roleColor(ColorRole::secondary, noTags_->palette()));
  column->addWidget(noTags_);

  characterGroup_ =
      new TagChipGroup(qtText(localization_.lookup(Key::metadataCharacterTags)), this, &localization_);
  characterGroup_->setObjectName("detail.tags.character");
  promptGroup_ =
      new TagChipGroup(qtText(localization_.lookup(Key::metadataPromptTags)), this, &localization_);
  promptGroup_->setObjectName("detail.tags.prompt");
  for (TagChipGroup* group : {characterGroup_, promptGroup_}) {
    group->setChipFactory([this, group](MetadataChipButton& chip) { configureChip(*group, chip); });
    connect(group, &TagChipGroup::chipsAdded, this,
            [this, group](int first) { applyStates(*group, static_cast<std::size_t>(first)); });
    column->addWidget(group);
  }

  connect(&filters_, &FiltersModel::selectedFilterTagsChanged, this, &ImageFilterTagsSection::refreshStates);
  connect(&context_, &StoreContext::needsLiveServicePreparationChanged, this,
          &ImageFilterTagsSection::refreshStates);
  connect(&library_, &LibraryModel::isPreparingLibraryChanged, this, &ImageFilterTagsSection::refreshStates);
}

void ImageFilterTagsSection::configureChip(TagChipGroup& group, MetadataChipButton& chip) {
  chip.setContextMenuPolicy(Qt::CustomContextMenu);
  // A reused chip shows another tag later: the handlers read the chip's tag when they run.
  const auto tagOf = [&group, &chip]() -> std::optional<std::string> {
    const int index = group.chipIndex(&chip);
    if (index < 0) return std::nullopt;
    return group.tags()[static_cast<std::size_t>(index)];
  };
  connect(&chip, &MetadataChipButton::clicked, this, [this, tagOf] {
    const auto tag = tagOf();
    if (!tag) return;
    FiltersModel* filters = &filters_;
    const std::string value = *tag;
    context_.startDetached([filters, value]() -> QCoro::Task<void> {
      std::string tagToToggle = value;
      co_await filters->toggleFilterTag(tagToToggle);
    });
  });
  connect(&chip, &MetadataChipButton::customContextMenuRequested, this,
          [this, tagOf, &chip](const QPoint& position) {
            const auto tag = tagOf();
            if (!tag) return;
            auto* menu = new QMenu(&chip);
            menu->setObjectName("detail.tag.menu");
            menu->setAttribute(Qt::WA_DeleteOnClose);
            CopyTagMenuButton::addTo(*menu, *tag, &localization_);
            menu->popup(chip.mapToGlobal(position));
          });
}

void ImageFilterTagsSection::setRecord(const ImageRecord& record) {
  ImageFilterTagGroups groups = makeImageFilterTagGroups(record);
  if (groups != groups_) {
    groups_ = std::move(groups);
    // Both groups and the empty note show again together: the inspector is laid out once.
    const bool sectionHidden = hideWhileChanged(*this);
    characterGroup_->setTags(groups_.characterTags, &tagChipIdentifiers);
    promptGroup_->setTags(groups_.promptTags, &tagChipIdentifiers);
    noTags_->setVisible(groups_.isEmpty());
    if (sectionHidden) show();
  }
  refreshStates();
}

void ImageFilterTagsSection::refreshStates() {
  for (TagChipGroup* group : {characterGroup_, promptGroup_}) applyStates(*group, 0);
}

void ImageFilterTagsSection::applyStates(TagChipGroup& group, std::size_t first) {
  using Key = AppLocalizationKey;
  const bool disabled = context_.needsLiveServicePreparation() || library_.isPreparingLibrary();
  // The two tooltips are fixed texts: looked up once, not once per chip (a focus step may update
  // hundreds of chips).
  const QString addHelp = toolTipHtml(qtText(localization_.lookup(Key::filterTagAddToFilter)));
  const QString removeHelp = toolTipHtml(qtText(localization_.lookup(Key::filterTagRemoveFromFilter)));
  for (std::size_t i = first; i < group.chips().size(); ++i) {
    MetadataChipButton& chip = *group.chips()[i];
    const std::string& tag = group.tags()[i];
    const bool selected = filters_.isFilterTagSelected(tag);
    chip.setSelected(selected);
    chip.setEnabled(!disabled);
    const QString& help = selected ? removeHelp : addHelp;
    if (chip.toolTip() != help) chip.setToolTip(help);
    chip.setAccessibleName(qtText(localization_.lookup(
        selected ? Key::filterTagRemoveValueFromFilter : Key::filterTagAddValueToFilter, {tag})));
  }
}

}  // namespace lorvex::ui
