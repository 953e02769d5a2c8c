#include "ui/common/app_localization_key.h"

namespace lorvex::ui {
namespace {

constexpr std::array<std::string_view, kAppLocalizationKeyCount> kKeyStrings = {
#define LORVEX_LOCALIZATION_KEY(name, key) key,
#include "ui/common/app_localization_keys.def"
#undef LORVEX_LOCALIZATION_KEY
};

constexpr std::array<AppLocalizationKey, kAppLocalizationKeyCount> kAllKeys = {
#define LORVEX_LOCALIZATION_KEY(name, key) AppLocalizationKey::name,
#include "ui/common/app_localization_keys.def"
#undef LORVEX_LOCALIZATION_KEY
};

}  // namespace

std::string_view keyString(AppLocalizationKey key) {
  const auto index = static_cast<std::size_t>(key);
  return index < kKeyStrings.size() ? kKeyStrings[index] : std::string_view{};
}

std::span<const AppLocalizationKey, kAppLocalizationKeyCount> allAppLocalizationKeys() {
  return kAllKeys;
}

AppLocalizationKey aspectFilterNameKey(ImageAspectFilter aspect) {
  switch (aspect) {
    case ImageAspectFilter::portrait:
      return AppLocalizationKey::filterAspectPortrait;
    case ImageAspectFilter::landscape:
      return AppLocalizationKey::filterAspectLandscape;
    case ImageAspectFilter::square:
      return AppLocalizationKey::filterAspectSquare;
  }
  return AppLocalizationKey::filterAspectPortrait;
}

}  // namespace lorvex::ui
