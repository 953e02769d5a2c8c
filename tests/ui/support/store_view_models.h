// The models a view takes, read off a whole store as the application's composition hands them over:
// for the tests, benchmarks and the screenshot tool that build a view over a store of their own.
#pragma once

#include "store/image_library_store.h"
#include "ui/common/image_context_menu_model.h"

namespace lorvex::ui::testing {

inline ImageContextMenuModels imageContextMenuModels(ImageLibraryStore& store) {
  return {store.results(), store.review(), store.concepts(), store.context()};
}

}  // namespace lorvex::ui::testing
