#include "app/acknowledgments.h"

#include <QFile>

#include "model/text/unicode.h"

namespace lorvex::app {

namespace {

constexpr ThirdPartyComponent kComponents[] = {
    {"Qt", "Qt-LICENSE"},
    {"QCoro", "QCoro-LICENSE"},
    {"SQLite", "SQLite-LICENSE"},
    {"ICU", "ICU-LICENSE"},
    {"nlohmann/json", "nlohmann-json-LICENSE"},
    {"libdeflate", "libdeflate-LICENSE"},
    {"OpenSSL", "OpenSSL-LICENSE"},
    {"libspng", "libspng-LICENSE"},
    {"libjpeg-turbo", "libjpeg-turbo-LICENSE"},
};

}  // namespace

std::span<const ThirdPartyComponent> thirdPartyComponents() {
  return kComponents;
}

std::optional<std::string> licenseText(std::string_view resourceName, std::string_view folder) {
  const QString path = QString::fromUtf8(folder.data(), static_cast<qsizetype>(folder.size())) + '/' +
                       QString::fromUtf8(resourceName.data(), static_cast<qsizetype>(resourceName.size())) +
                       QStringLiteral(".txt");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) return std::nullopt;
  std::string text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  if (!text::isValidUTF8(text)) return std::nullopt;
  return text;
}

}  // namespace lorvex::app
