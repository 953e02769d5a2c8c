// A titled group of tag chips in a wrapping layout: the building block of the inspector's tag
// section. setTags() updates the chips in place (the chips of the first N tags are reused, extra
// ones deleted), so stepping through records does not rebuild hundreds of widgets. With no tags
// the whole group, title included, is hidden.
//
// A group makes chips for its first kChipPageSize tags only; after them a "+N more" control
// (N the tags without a chip) makes chips for the next page at each use. A record of any number
// of tags is so laid out in the time of one page.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "ui/common/app_localization.h"

class QLabel;
class QToolButton;

namespace lorvex::ui {

class MetadataChipButton;
class MetadataTagFlowLayout;

class TagChipGroup : public QWidget {
  Q_OBJECT

 public:
  static constexpr std::size_t kChipPageSize = 500;

  // `title` empty: no title row. `localization` (kept by reference) defaults to the live one.
  explicit TagChipGroup(const QString& title, QWidget* parent = nullptr,
                        const AppLocalization* localization = nullptr);

  // Called when a chip is made, once per chip widget (connect its signals here); the chip's
  // position is read back through chipIndex() because a reused chip changes tags.
  void setChipFactory(std::function<void(MetadataChipButton&)> configure);

  // The objectNames of the first `count` chips of `tags`: a group names only the chips it makes.
  using ChipIdentifiers =
      std::function<std::vector<std::string>(const std::vector<std::string>& tags, std::size_t count)>;
  // All the tags, in order; chips for the first page of them (for as many as before when the tags
  // are the same).
  void setTags(std::vector<std::string> tags, ChipIdentifiers identifiers);
  // The same with every tag's identifier given (the same length as `tags`).
  void setTags(const std::vector<std::string>& tags, const std::vector<std::string>& identifiers);
  // Chips for the next page of the tags, as the "+N more" control makes them; chipsAdded() follows.
  void showMoreTags();

  const std::vector<std::string>& tags() const { return tags_; }
  // The chips, of the first tags, in order: one per tag shown.
  const std::vector<MetadataChipButton*>& chips() const { return chips_; }
  int chipIndex(const MetadataChipButton* chip) const;
  // The "+N more" control: shown while some tags have no chip.
  QToolButton* moreButtonForTest() const { return more_; }

 Q_SIGNALS:
  // showMoreTags() made the chips from `first` on; their owner gives them their states.
  void chipsAdded(int first);

 private:
  void showTags(std::size_t count);

  const AppLocalization& localization_;
  QLabel* title_ = nullptr;
  QWidget* flowHost_;
  MetadataTagFlowLayout* flow_;
  QToolButton* more_;
  std::vector<MetadataChipButton*> chips_;
  std::vector<std::string> tags_;
  ChipIdentifiers identifiers_;
  std::function<void(MetadataChipButton&)> configure_;
};

}  // namespace lorvex::ui
