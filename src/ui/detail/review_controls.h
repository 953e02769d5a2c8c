// The favourite and delete-candidate toggles under the preview. Each button shows the action a
// press performs (mark or unmark) for the focused record, and has a one-letter shortcut without
// modifiers, "f" and "d", matched by logical key. The buttons and their shortcuts are enabled only
// while the store allows reviewing the focused record; the shortcuts also sleep while the row is
// hidden (the inspector is closed), and a focused text field keeps its letters, as a focused control
// with keys of its own keeps them all. A click on a button leaves the keyboard where it was.
//
// The row holds no state: refresh() reads the focused record from the results again.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>

#include "store/feature_models.h"
#include "ui/common/app_localization.h"

class QPushButton;
class QShortcut;

namespace lorvex::ui {

class ReviewControls : public QWidget {
  Q_OBJECT

 public:
  ReviewControls(const ResultsModel& results, ReviewModel& review, const StoreProjections& projections,
                 const AppLocalization* localization = nullptr, QWidget* parent = nullptr);

  void refresh();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void updateShortcutStates();

  const ResultsModel& results_;
  ReviewModel& review_;
  const StoreProjections& projections_;
  const AppLocalization& localization_;
  QPushButton* favorite_;
  QPushButton* deleteCandidate_;
  QShortcut* favoriteShortcut_;
  QShortcut* deleteCandidateShortcut_;
};

}  // namespace lorvex::ui
