#include "services/image_library_startup_error.h"

#include <utility>

namespace lorvex {

namespace {

std::string describe(ImageLibraryStartupError::Kind kind) {
  using Kind = ImageLibraryStartupError::Kind;
  switch (kind) {
    case Kind::libraryNotPrepared:
      return "データベースを準備中です。";
    case Kind::libraryFromNewerVersion:
      return "このライブラリはより新しいバージョンの Lorvex "
             "で作成されています。ライブラリには変更を加えていません。"
             "Lorvex "
             "を最新バージョンにアップデートすると、お気に入りや削除候補などのレビュー状態もそのまま利用を再"
             "開"
             "できます。";
    case Kind::libraryInUse:
      // Also read by people running the command-line tools, so it says it in English as well.
      return "別の Lorvex プロセスがこのライブラリを使用しています。ライブラリには変更を加えていません。"
             "(The library was not opened: another Lorvex process is using this library.)";
  }
  return {};
}

}  // namespace

ImageLibraryStartupError::ImageLibraryStartupError(Kind kind)
    : LibraryError(LibraryError::Kind::libraryUnavailable, describe(kind)), kind_(kind) {}

UITestCompositionError::UITestCompositionError(std::string suiteName)
    : LibraryError(LibraryError::Kind::configuration,
                   "Unable to create isolated UI-test defaults suite: " + suiteName),
      suiteName_(std::move(suiteName)) {}

UITestCompositionError UITestCompositionError::unavailableUserDefaultsSuite(std::string suiteName) {
  return UITestCompositionError(std::move(suiteName));
}

}  // namespace lorvex
