// The inspector's last section: the shown image's generation metadata. A header; a status box
// when the metadata was not fully understood (orange with the parse warning when partial); a grid
// of setting rows (label, value cut in the middle to two lines, copy icon); and one box per long
// text that opens from its header and has its own copy icon. Every value can be selected and
// copied whole (icon or context menu); copying never opens or closes a box.
//
// The rows and boxes exist once per id, in their fixed order, and are shown or hidden as the
// record has them, so stepping through records updates them in place. Whether a box is open is
// kept per id for as long as the shown records keep having that item.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>
#include <map>
#include <string>

#include "model/image_record.h"
#include "ui/common/app_localization.h"
#include "ui/detail/metadata_inspection_presentation.h"

class QLabel;
class QGridLayout;
class QToolButton;

namespace lorvex::ui {

class WrappedTextLabel;

class MiddleElidedLabel;
class MetadataLongTextDisclosure;
class SelectableWrappedText;

class MetadataSection : public QWidget {
  Q_OBJECT

 public:
  explicit MetadataSection(const AppLocalization* localization = nullptr, QWidget* parent = nullptr);

  void setMetadata(const GenerationMetadata& metadata);

  bool isExpanded(const std::string& itemID) const;

 private:
  struct Row {
    QLabel* label = nullptr;
    MiddleElidedLabel* value = nullptr;
    QToolButton* copy = nullptr;
    std::string text;
  };

  void buildStatusBox();
  void applyStatus(const MetadataInspectionPresentation& presentation);

  const AppLocalization& localization_;
  QWidget* statusBox_ = nullptr;
  QLabel* statusIcon_ = nullptr;
  QLabel* statusTitle_ = nullptr;
  WrappedTextLabel* statusDescription_ = nullptr;
  SelectableWrappedText* warning_ = nullptr;
  std::string warningText_;
  QWidget* grid_ = nullptr;
  QWidget* texts_ = nullptr;  // the long texts' boxes
  std::map<std::string, Row> rows_;
  std::map<std::string, MetadataLongTextDisclosure*> disclosures_;
};

// One long text: a header button (chevron and title) that opens and closes it, a copy icon beside
// it, and the selectable text below while open, wrapped between words where it can and inside a
// word where it must (a JSON comment, a prompt written without spaces), so the box is never wider
// than its column.
class MetadataLongTextDisclosure : public QWidget {
  Q_OBJECT

 public:
  MetadataLongTextDisclosure(const std::string& id, const AppLocalization& localization,
                             QWidget* parent = nullptr);

  void setItem(const MetadataInspectionLongTextItem& item);
  bool isExpanded() const { return expanded_; }
  void setExpanded(bool expanded, bool animated);
  const std::string& value() const { return value_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void updateHeader();

  const AppLocalization& localization_;
  QToolButton* header_;
  QToolButton* copy_;
  QWidget* textBox_;  // the text with its margins, shown while open
  SelectableWrappedText* text_;
  std::string title_;
  std::string value_;
  bool expanded_ = false;
};

// A small borderless "doc.on.doc" button that copies `value` whole; its tooltip and accessible name
// are the given label.
QToolButton* makeCopyIconButton(QWidget* parent);
// A selectable label's context menu with one "copy" item for `value` (none for an empty value).
void showCopyValueMenu(QWidget& anchor, const QPoint& position, const std::string& value,
                       const AppLocalization& localization);

}  // namespace lorvex::ui
