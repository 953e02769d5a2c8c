// The row of removable chips under the results header that names every filter narrowing the
// results, in a fixed order: selected tags, tag concepts, the model, aspects, favorites only and
// delete candidates only (or the open delete-candidate review). The presentation is a pure value
// built from the filter state and a localizer; the bar widget only shows it and starts the removal
// a chip names. The empty-results overlay builds it too, to know whether a reset would help.
//
// Thread safety: main thread (the model-reading functions and the removal tasks); the builder from
// plain inputs is pure.
#pragma once

#include <qcoro/qcorotask.h>

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "model/image_aspect.h"
#include "model/tag_concept.h"
#include "store/feature_models.h"
#include "ui/common/app_localization.h"

namespace lorvex::ui {

struct ActiveFilterSummaryKind {
  struct Tag {
    std::string tag;  // as written in the selected filter tags
    friend bool operator==(const Tag&, const Tag&) = default;
  };
  struct TagConcept {
    std::int64_t conceptID = 0;
    friend bool operator==(const TagConcept&, const TagConcept&) = default;
  };
  struct Aspect {
    ImageAspectFilter aspect = ImageAspectFilter::portrait;
    friend bool operator==(const Aspect&, const Aspect&) = default;
  };
  struct Model {
    friend bool operator==(const Model&, const Model&) = default;
  };
  struct Favorite {
    friend bool operator==(const Favorite&, const Favorite&) = default;
  };
  struct DeleteCandidate {
    friend bool operator==(const DeleteCandidate&, const DeleteCandidate&) = default;
  };

  // id() and removeActiveFilter() visit each kind by name: a kind added here does not compile
  // until both handle it.
  std::variant<Tag, TagConcept, Aspect, Model, Favorite, DeleteCandidate> value;

  friend bool operator==(const ActiveFilterSummaryKind&, const ActiveFilterSummaryKind&) = default;
};

struct ActiveFilterSummaryItem {
  ActiveFilterSummaryKind kind;
  std::string title;          // the chip's text
  bool isReviewMode = false;  // only the delete-candidate chip while the review is open

  // Stable per filter: "tag:<tag lowercased>", "tagConcept:<id>", "aspect:<raw value>", "model",
  // "favorite", "deleteCandidate" or, in review mode, "deleteCandidateReview".
  std::string id() const;

  friend bool operator==(const ActiveFilterSummaryItem&, const ActiveFilterSummaryItem&) = default;
};

// What the builder reads. The bar passes the selected concepts only while tag concepts are
// enabled; the empty-results overlay never passes any.
struct ActiveFilterSummaryInputs {
  std::vector<std::string> selectedFilterTags = {};
  std::vector<lorvex::TagConcept> selectedTagConcepts = {};
  std::optional<std::string> modelSource = std::nullopt;
  std::vector<ImageAspectFilter> aspectFilters = {};
  bool onlyFavorites = false;
  bool onlyDeleteCandidates = false;
  bool isDeleteCandidateReviewPresented = false;

  // The filter state of the models; concepts only while the context's feature switch enables them.
  static ActiveFilterSummaryInputs from(const FiltersModel& filters,
                                        const ImageLibraryPresentationState& presentation,
                                        const StoreContext& context);
  // The same with no concept, whatever the switch says.
  static ActiveFilterSummaryInputs withoutTagConcepts(const FiltersModel& filters,
                                                      const ImageLibraryPresentationState& presentation);
};

struct ActiveFilterSummaryPresentation {
  std::vector<ActiveFilterSummaryItem> items;  // display order
  AppLocalization localizer;                   // the items' localizer, for the bar's own texts

  static ActiveFilterSummaryPresentation make(const ActiveFilterSummaryInputs& inputs,
                                              AppLocalization localizer);

  bool isEmpty() const { return items.empty(); }
  // The bar's leading title, a chip's tooltip and accessible name, the reset button's text (also
  // its tooltip and accessible name).
  std::string titleText() const;
  std::string clearText(const ActiveFilterSummaryItem& item) const;
  std::string resetAllText() const;

  // The localizer is not compared.
  friend bool operator==(const ActiveFilterSummaryPresentation& a, const ActiveFilterSummaryPresentation& b) {
    return a.items == b.items;
  }
};

// The sizes the results header gives the bar. A chip is at most kChipMaximumWidth wide, padding
// included; its text (cut in the middle when longer) at most chipTextMaximumWidth().
struct ActiveFilterSummaryStyleMetrics {
  static constexpr int kChipHorizontalPadding = 11;
  static constexpr int kChipVerticalPadding = 6;
  static constexpr int kChipMaximumWidth = 240;
  static constexpr int kChipIconWidth = 14;
  static constexpr int kChipIconSpacing = 5;
  static constexpr int kResetHorizontalPadding = 11;
  static constexpr int kResetVerticalPadding = 6;
  static constexpr int kItemSpacing = 9;
  static constexpr int kBarHorizontalPadding = 12;
  static constexpr int kBarBottomPadding = 10;

  // Icon, gap and text: the chip without its padding (218).
  static constexpr int chipLabelMaximumWidth() { return kChipMaximumWidth - 2 * kChipHorizontalPadding; }
  // 199.
  static constexpr int chipTextMaximumWidth() {
    return chipLabelMaximumWidth() - kChipIconWidth - kChipIconSpacing;
  }
};

// The widths the chips were designed for: a long title is cut rather than widening the bar.
static_assert(ActiveFilterSummaryStyleMetrics::chipLabelMaximumWidth() == 218);
static_assert(ActiveFilterSummaryStyleMetrics::chipTextMaximumWidth() == 199);

// Where an item of the chip row (the title or a chip) starts and ends, in the row's coordinates.
struct ChipRowSpan {
  int left = 0;
  int right = 0;
};

// Where a click on one of the chip row's edge cues scrolls the row: one item further that way.
// `offset` is the row's scroll offset, `maximum` its largest, `viewportWidth` the room it is shown
// in and `cueWidth` how far each cue reaches in from its edge. Going forward, the first item that
// ends under the trailing cue or beyond it comes to end where that cue begins; going back, the
// last item that starts under the leading cue or before it comes to start where that cue ends.
// With no such item the row goes to its end that way; the offset stays within 0 and `maximum`.
int chipRowCueScrollTarget(const std::vector<ChipRowSpan>& items, int offset, int maximum, int viewportWidth,
                           int cueWidth, bool forward);

// The room the chip row keeps at its ends, outside its items.
struct ChipRowEnds {
  int leading = 0;
  int trailing = 0;
  friend bool operator==(const ChipRowEnds&, const ChipRowEnds&) = default;
};

// The chip row's ends for items `itemsWidth` wide (the title, the chips and the gaps between them)
// shown in a room `viewportWidth` wide: the bar's `padding` before the title and nothing after the
// last chip while they fit; once they do not, each end as wide as a cue (`cueWidth`) at least, so
// that with the row scrolled to either end no item lies under the cue there.
ChipRowEnds chipRowEnds(int itemsWidth, int viewportWidth, int padding, int cueWidth);

inline constexpr std::string_view kActiveFilterChipSymbol = "xmark.circle";
inline constexpr std::string_view kActiveFilterResetSymbol = "xmark.circle.fill";

// A chip's click: removes that one filter through the filters model's flow for it, which refreshes
// the first page only when it changed a filter, so a second quick click refreshes nothing.
QCoro::Task<void> removeActiveFilter(FiltersModel& filters, ActiveFilterSummaryKind kind);
// The reset button: clears every filter (the saved tags stay).
QCoro::Task<void> resetActiveFilters(FiltersModel& filters);

}  // namespace lorvex::ui
