#include "ui/common/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "ui/common/plain_text.h"

namespace lorvex::ui {

void copyTextToClipboard(std::string_view text) {
  // New mime data rather than setText: the clipboard drops every other format it held (an image, a
  // file list) instead of keeping them beside the text.
  auto* data = new QMimeData;
  data->setText(qtText(text));
  QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

}  // namespace lorvex::ui
