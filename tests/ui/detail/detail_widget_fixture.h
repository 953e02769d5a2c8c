// What the inspector's widget tests over the scripted service share: a store whose window holds
// the given records (under "/library"), a shown top-level window hosting the widget under test, and
// a settle step that lets the store, the event loop and the image decodes come to rest.
#pragma once

#include <gtest/gtest.h>

#include <QVBoxLayout>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "store/image_library_store.h"
#include "store/library/library_model_test_access.h"
#include "store/support/store_harness.h"
#include "ui/results/echo_localization.h"
#include "ui/support/store_view_models.h"
#include "ui/support/ui_test_application.h"
#include "ui/support/widget_test.h"

namespace lorvex::ui::testing {

class DetailWidgetTest : public WidgetTest {
 protected:
  void makeStore(std::vector<ImageRecord> records, bool tagConcepts = false) {
    harness.service->setRecords(std::move(records));
    lorvex::testing::StoreOptions options;
    options.featureAvailability.isTagConceptEnabled = tagConcepts;
    store = harness.makeStore(options);
    LibraryModelTestAccess::setActiveFolderRegistrationRootPaths(store->library(), {"/library"});
    auto refresh = store->results().refreshResults(ResultsModel::kFirstPageLimit, true);
    settle();
    ASSERT_TRUE(refresh.isReady());
  }

  // A shown window of `size` holding `widget`.
  template <typename W>
  W* host(std::unique_ptr<W> widget, QSize size = {420, 1400}) {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    W* raw = widget.release();
    layout->addWidget(raw);
    window->resize(size);
    window->show();
    window->activateWindow();
    settle();
    return raw;
  }

  void focus(const std::string& path) {
    store->results().focusPathKeepingSelection(path);
    settle();
  }

  void settle() {
    harness.drainEvents();
    drainUiEvents();
    harness.drainEvents();
  }

  template <typename T>
  T* find(const QString& name) {
    return window ? findByName<T>(*window, name) : nullptr;
  }

  const AppLocalization localization = echoLocalization();
  lorvex::testing::StoreHarness harness;
  std::unique_ptr<ImageLibraryStore> store;
  std::unique_ptr<QWidget> window;  // destroyed before the store it shows
};

// A record under "/library" with NovelAI metadata, prompt tags and captions.
inline ImageRecord novelAIRecord(const std::string& name, double modificationDate = 1'700'000'000) {
  ImageRecord record;
  record.file = {"/library/" + name, 4096, modificationDate};
  GenerationMetadata& m = record.metadata;
  m.provider = GenerationMetadataProvider{"novelai", "NovelAI"};
  m.software = "NovelAI";
  m.prompt = "1girl, solo, long hair, <b>bold</b> & more";
  m.negativePrompt = "lowres";
  m.seed = 42;
  m.width = 832;
  m.height = 1216;
  m.scale = 5.0;
  m.characterCaptions = {{"girl, red hair", {{0.5, 0.25}}}};
  record.promptTags = {"1girl", "solo", "long hair", "Red  Hair", "<b>bold</b> & more"};
  return record;
}

}  // namespace lorvex::ui::testing
