// What the views read instead of combining the feature models' fields themselves: whether the
// focused record may be reviewed, and the saved filter tags the sidebar lists. Each answer is
// computed when asked (nothing is cached); derivedValuesChanged() tells that an input of any of
// them changed, and also that an input of the results', Trash and suggestions models' own
// projections did, so a view reading several of them refreshes once.
//
// Thread safety: the creating thread only (the main thread).
#pragma once

#include <QObject>
#include <cstddef>
#include <string>
#include <vector>

#include "store/async/creating_thread.h"
#include "store/async/turn_end_call.h"
#include "store/feature_models.h"

namespace lorvex {

class StoreProjections : public QObject {
  Q_OBJECT

 public:
  // Reads the models it is given, which outlive it.
  StoreProjections(const StoreContext& context, const FiltersModel& filters, const ResultsModel& results,
                   const TrashModel& trash, const ImageLibraryPresentationState& presentation,
                   QObject* parent = nullptr);

  // Review marks may be changed on the focused record: one is loaded, no page is loading, nothing
  // is being moved to the Trash and neither filter popover is open.
  bool canReviewFocusedRecord() const;
  // As canReviewFocusedRecord, and the slideshow (when open) shows a single image.
  bool canReviewFocusedRecordInSlideshow() const;
  // The saved filter tags the sidebar lists: the first few while the list is collapsed.
  std::vector<std::string> visibleSavedFilterTags() const;
  // While collapsed, the sidebar lists this many saved filter tags; with more saved, it offers to
  // list them all.
  static constexpr std::size_t kCollapsedSavedFilterTagCount = 5;

  // Queues one derivedValuesChanged for the end of this event-loop turn unless one is queued (see
  // TurnEndCall). The inputs read here are connected to it by the constructor; the composition
  // connects those of the other models' projections.
  void scheduleDerivedValuesChanged();

 Q_SIGNALS:
  // The projections' inputs changed; emitted at most once per event-loop turn, after the field
  // signals of that turn.
  void derivedValuesChanged();

 private:
  // Connects every input of the projections to scheduleDerivedValuesChanged; called once, by the
  // constructor.
  void connectInputs(const StoreContext& context);

  CreatingThread creatingThread_;
  const FiltersModel& filters_;
  const ResultsModel& results_;
  const TrashModel& trash_;
  const ImageLibraryPresentationState& presentation_;
  TurnEndCall derivedValuesChange_{this, [this] { Q_EMIT derivedValuesChanged(); }};
};

}  // namespace lorvex
