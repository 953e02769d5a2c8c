// The tag-concept management panel: create a concept, pick one, rename it, edit its aliases and
// assign it by hand to the panel's images. The panel holds only the selected concept and its three
// text fields; the concepts, aliases, assignments and the busy flag are the concepts
// model's, and every change is one operation of it started as a flow of the store.
//
// Rules the panel keeps:
// - When it is first shown it loads the concept list and then keeps the selection valid (the
//   first concept when none or a vanished one is selected).
// - Whenever the model's concept list changes afterwards: keep-valid, then the rename field shows
//   the selected concept's name (typed text there is replaced). Whenever the selection changes:
//   the rename field shows the new concept's name. The create and alias fields are never touched
//   by a selection change.
// - The selected concept and the images name a keyed load (the concept's aliases, then the images'
//   assignments, the second also for no images) that restarts when the selection changes.
// - While a mutation runs every mutation control is disabled; the picker is not. Return in a field
//   runs its action with only the blank-text guard (the model drops a call made during a mutation).
// - A created concept becomes the selection and its field empties; a failed create keeps the text.
//   The alias field empties only once the model reports the alias added, so a failed or dropped add
//   keeps what was typed.
//
// Controls carry their key as objectName ("tagConcept.create", "tagConcept.create.placeholder",
// ...); alias rows "tagConcept.alias.remove." + the alias's stable hash; the picker
// "tagConcept.picker" and its items "tagConcept.picker." + concept id.
//
// Thread safety: GUI thread only.
#pragma once

#include <QScrollArea>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/tag_concept.h"
#include "ui/common/app_localization.h"
#include "ui/detail/keyed_store_task.h"
#include "ui/detail/tag_concept_management_rules.h"

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace lorvex {
class TagConceptsModel;
}

namespace lorvex::ui {

class WrappedTextLabel;

class TagConceptManagementPanel : public QScrollArea {
  Q_OBJECT

 public:
  TagConceptManagementPanel(TagConceptsModel& concepts, std::vector<std::string> imagePaths,
                            const AppLocalization* localization = nullptr, QWidget* parent = nullptr);
  ~TagConceptManagementPanel() override;

  // The images the assignment section acts on (the host's selection when the panel was made).
  const std::vector<std::string>& imagePaths() const { return imagePaths_; }

  std::optional<std::int64_t> selectedConceptIDForTest() const { return selectedConceptID_; }
  // Choosing a concept in the picker.
  void selectConcept(std::optional<std::int64_t> conceptID);

  // The actions, as the buttons and Return run them.
  void create();
  void rename();
  void addAlias();
  void removeAlias(const std::string& tag);
  void setAssignment(bool assign);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void build();
  // A text field and its button side by side, both running `action` (the button when enabled).
  QHBoxLayout* makeActionRow(QLineEdit*& field, QPushButton*& button, AppLocalizationKey placeholder,
                             AppLocalizationKey title, const char* symbol,
                             void (TagConceptManagementPanel::*action)(), QWidget* parent);
  void onTagConceptsChanged();
  void syncRenameField();
  void restartAssignmentLoad();
  void refresh();
  void rebuildPicker();
  void rebuildAliases();
  void updateControls();

  TagConceptsModel& concepts_;
  const AppLocalization& localization_;
  std::vector<std::string> imagePaths_;
  std::optional<std::int64_t> selectedConceptID_;
  std::optional<TagConceptAssignmentLoadID> loadID_;
  bool appeared_ = false;
  std::vector<TagConcept> seenConcepts_;

  QLineEdit* createField_ = nullptr;
  QPushButton* createButton_ = nullptr;
  QWidget* emptyState_ = nullptr;
  QToolButton* picker_ = nullptr;
  QMenu* pickerMenu_ = nullptr;
  QWidget* selectedBlock_ = nullptr;
  QLineEdit* renameField_ = nullptr;
  QPushButton* renameButton_ = nullptr;
  QVBoxLayout* aliasRows_ = nullptr;
  std::vector<QToolButton*> aliasRemoveButtons_;
  // What the alias rows show now.
  std::optional<std::int64_t> shownAliasConceptID_;
  std::vector<std::string> shownAliasTags_;
  QLineEdit* aliasField_ = nullptr;
  QPushButton* aliasButton_ = nullptr;
  QWidget* assignmentBlock_ = nullptr;
  WrappedTextLabel* scopeText_ = nullptr;
  QPushButton* assignButton_ = nullptr;
  QPushButton* unassignButton_ = nullptr;

  KeyedStoreTask appearanceLoad_;
  KeyedStoreTask assignmentLoad_;
};

// How hosts make the panel (the sidebar's tag popover is given this by the application).
using TagConceptManagementPanelFactory =
    std::function<QWidget*(TagConceptsModel& concepts, std::vector<std::string> imagePaths, QWidget* parent)>;
TagConceptManagementPanelFactory tagConceptManagementPanelFactory(
    const AppLocalization* localization = nullptr);

}  // namespace lorvex::ui
