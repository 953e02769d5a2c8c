// The scenes lorvex-screens renders: each UI folder registers its own in scenes_<folder>.cpp (every
// scenes_*.cpp of this folder is built into the tool). A scene builds one widget over one of three
// sources: nothing (shared widgets alone), the real library given with --library, or a store over
// the scripted fake service (first runs, errors, held searches). The tool shows the widget
// offscreen at the scene's size, waits until the store, the events and the image decodes have
// settled, and writes <out>/<scene name>.<language>.png.
//
// Register at namespace scope in a scenes_<folder>.cpp:
//   const bool registered = lorvex::screens::registerScene({.name = "results.grid", ...});
//
// Thread safety: the GUI thread only; registration runs during static initialisation.
#pragma once

#include <QSize>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/support/store_harness.h"
#include "ui/common/app_localization.h"

namespace lorvex::screens {

enum class SceneSource {
  widgetsOnly,  // no store
  library,      // the store over the real library of --library (launched, settled)
  fakeService,  // a StoreHarness of the scene's own: make the store with makeFakeStore
};

class SceneContext {
 public:
  SceneContext(const ui::AppLocalization& localization, std::string language, std::filesystem::path scratch);
  ~SceneContext();
  SceneContext(const SceneContext&) = delete;
  SceneContext& operator=(const SceneContext&) = delete;

  // Library scenes: the launched store; fake scenes: the store made by makeFakeStore; else null.
  ImageLibraryStore* store = nullptr;
  // Fake scenes only: the scripted service, clock and pools (set records, hold calls, answer).
  testing::StoreHarness* harness = nullptr;
  const ui::AppLocalization& localization;  // the live one, in the language of the run
  const std::string language;               // "en" or "ja"
  const std::filesystem::path scratch;      // an empty folder of the scene's own, removed afterwards

  // Fake scenes: a store over the harness, kept until the scene's widget is gone; sets `store`.
  ImageLibraryStore& makeFakeStore(testing::StoreOptions options = {});
  // Fake scenes: a store whose library holds `records`, with the folders holding them registered
  // and available (a search covers only those), its folders loaded and its first page searched
  // and settled. Null when it did not settle.
  ImageLibraryStore* makeFakeStoreWithResults(std::vector<ImageRecord> records,
                                              testing::StoreOptions options = {});
  // Lets the store finish what it started, posted events run and image decodes end. False when
  // that did not happen within 60 s.
  bool settle();
  // Set for a scene that shows the store busy on purpose (a search held, a sync under way): then
  // settling waits for events, held calls and decodes only.
  bool storeStaysBusy = false;

  // Set by the framework.
  std::unique_ptr<testing::StoreHarness> ownedHarness;
  std::unique_ptr<ImageLibraryStore> ownedStore;
};

struct Scene {
  std::string name;  // "<folder>.<what>", the PNG's base name; unique
  SceneSource source = SceneSource::widgetsOnly;
  QSize size{800, 600};  // the root widget's size in logical pixels
  // Builds the root widget; may drive the store first (select records, start a search).
  std::function<std::unique_ptr<QWidget>(SceneContext&)> build;
  // Optional: runs once the root is shown and settled (open a menu, hover a control). Returns the
  // widget to capture (a popup menu, say) or nullptr for the root; the returned widget must live
  // until the root is destroyed.
  std::function<QWidget*(SceneContext&, QWidget& root)> afterShow;
  // The scene shows the store busy on purpose (see SceneContext::storeStaysBusy).
  bool storeStaysBusy = false;
};

// Adds a scene; gives true so it can initialise a namespace-scope constant.
bool registerScene(Scene scene);
// The scenes in name order.
std::vector<const Scene*> registeredScenes();

}  // namespace lorvex::screens
