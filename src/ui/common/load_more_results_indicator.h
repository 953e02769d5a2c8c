// The row under the results grid while more results exist or a page is loading: a small busy
// indicator and "Loading more…" while a page loads, else the hint that scrolling loads more. One
// accessibility element whose name is the shown text.
//
// Thread safety: GUI thread only.
#pragma once

#include <QWidget>

namespace lorvex::ui {

class AppLocalization;
class BusyIndicator;
class ElidingLabel;

class LoadMoreResultsIndicator : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kVerticalPadding = 12;
  static constexpr int kSpacing = 8;

  // objectName "results.loadMore". `localization` (kept by reference) defaults to the live one.
  explicit LoadMoreResultsIndicator(QWidget* parent = nullptr, const AppLocalization* localization = nullptr);

  void setLoading(bool loading);
  bool isLoading() const { return loading_; }
  // The text shown now.
  QString text() const;

 private:
  void apply();

  const AppLocalization& localization_;
  bool loading_ = false;
  BusyIndicator* busy_ = nullptr;
  ElidingLabel* label_ = nullptr;
};

}  // namespace lorvex::ui
