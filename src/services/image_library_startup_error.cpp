#include "services/image_library_startup_error.h"

#include <utility>

namespace lorvex {

ImageLibraryStartupError::ImageLibraryStartupError(Kind kind) : kind_(kind) {}

const std::string& ImageLibraryStartupError::localizedDescription() const {
  static const std::string notPrepared = "データベースを準備中です。";
  static const std::string fromNewerVersion =
      "このライブラリはより新しいバージョンの Lorvex で作成されています。ライブラリには変更を加えていません。"
      "Lorvex "
      "を最新バージョンにアップデートすると、お気に入りや削除候補などのレビュー状態もそのまま利用を再開"
      "できます。";
  return kind_ == Kind::libraryNotPrepared ? notPrepared : fromNewerVersion;
}

UITestCompositionError::UITestCompositionError(std::string suiteName)
    : suiteName_(std::move(suiteName)),
      description_("Unable to create isolated UI-test defaults suite: " + suiteName_) {}

UITestCompositionError UITestCompositionError::unavailableUserDefaultsSuite(std::string suiteName) {
  return UITestCompositionError(std::move(suiteName));
}

}  // namespace lorvex
