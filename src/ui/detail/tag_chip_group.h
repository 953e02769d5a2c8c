// A titled group of tag chips in a wrapping layout: the building block of the inspector's tag
// section. setTags() updates the chips in place (the chips of the first N tags are reused, extra
// ones deleted), so stepping through records does not rebuild hundreds of widgets. With no tags
// the whole group, title included, is hidden.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QLabel;

namespace lorvex::ui {

class MetadataChipButton;
class MetadataTagFlowLayout;

class TagChipGroup : public QWidget {
  Q_OBJECT

 public:
  // `title` empty: no title row.
  explicit TagChipGroup(const QString& title, QWidget* parent = nullptr);

  // Called when a chip is made, once per chip widget (connect its signals here); the chip's
  // position is read back through chipIndex() because a reused chip changes tags.
  void setChipFactory(std::function<void(MetadataChipButton&)> configure);

  // The chips' texts and objectNames, in order; the same length.
  void setTags(const std::vector<std::string>& tags, const std::vector<std::string>& identifiers);
  const std::vector<std::string>& tags() const { return tags_; }
  const std::vector<MetadataChipButton*>& chips() const { return chips_; }
  int chipIndex(const MetadataChipButton* chip) const;

 private:
  QLabel* title_ = nullptr;
  QWidget* flowHost_;
  MetadataTagFlowLayout* flow_;
  std::vector<MetadataChipButton*> chips_;
  std::vector<std::string> tags_;
  std::function<void(MetadataChipButton&)> configure_;
};

}  // namespace lorvex::ui
