// ResultSelection: the grid's selection by path: the focused record (primaryPath), the records
// selected together (selectedPaths) and the fixed end of range selections (anchorPath). It holds
// paths, never records, so it survives reloads of the result window; after each change of the
// window's records the results model reconciles it with what is still loaded.
//
// Each property's setter stores an equal value silently and signals only a real change.
//
// Thread safety: the creating thread only.
#pragma once

#include <QObject>
#include <optional>
#include <string>

#include "store/async/creating_thread.h"
#include "store/record_ref.h"

namespace lorvex {

class SearchResultWindow;

class ResultSelection : public QObject {
  Q_OBJECT

 public:
  struct Snapshot {
    std::optional<std::string> primaryPath;
    PathSet selectedPaths;
    std::optional<std::string> anchorPath;
    friend bool operator==(const Snapshot&, const Snapshot&) = default;
  };

  explicit ResultSelection(QObject* parent = nullptr);

  const std::optional<std::string>& primaryPath() const;
  void setPrimaryPath(std::optional<std::string> path);
  const PathSet& selectedPaths() const;
  void setSelectedPaths(PathSet paths);
  const std::optional<std::string>& anchorPath() const;
  void setAnchorPath(std::optional<std::string> path);

  // selectedPaths when not empty, else the focused path alone, else nothing: a lone focused record
  // counts as selected.
  PathSet effectiveSelectedPaths() const;

  // Focus, selection and anchor all on `path`; all cleared for nothing.
  void selectSingle(const std::optional<std::string>& path);

  // Keeps what survives in the window's records. Returns false when the focused path survived,
  // true when the focus moved to another record, nothing when the window is empty and the
  // selection was cleared. Paths are looked up through the window's index, so a change costs
  // time in proportion to the selection, not to the window; only a lost focus walks the records.
  std::optional<bool> reconcile(const SearchResultWindow& window, int fallbackIndex);

  Snapshot snapshot() const;

 Q_SIGNALS:
  void primaryPathChanged();
  void selectedPathsChanged();
  void anchorPathChanged();

 private:
  CreatingThread creatingThread_;
  std::optional<std::string> primaryPath_;
  PathSet selectedPaths_;
  std::optional<std::string> anchorPath_;
};

}  // namespace lorvex
