#include "app/acknowledgments_window.h"

#include <QShortcut>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/acknowledgments.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::app {

namespace {

constexpr int kPadding = 20;
constexpr int kEntrySpacing = 24;
constexpr int kNameSpacing = 8;

}  // namespace

AcknowledgmentsWindow::AcknowledgmentsWindow(const ui::AppLocalization& localization, QWidget* parent,
                                             std::string_view licenseFolder)
    : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("acknowledgments"));
  setWindowTitle(ui::qtText(localization.lookup("acknowledgments.title")));
  setMinimumSize(kAcknowledgmentsMinimumWidth, kAcknowledgmentsMinimumHeight);
  resize(kAcknowledgmentsMinimumWidth + 80, kAcknowledgmentsMinimumHeight + 160);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // One read-only document: the licences are long (Qt's alone is over 100 KB) and a text view
  // wraps, scrolls and selects them far better than a column of labels. Texts go in as plain text.
  auto* text = new QTextEdit(this);
  text->setObjectName(QStringLiteral("acknowledgments.text"));
  text->setReadOnly(true);
  text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  text->setFrameShape(QFrame::NoFrame);
  text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // wraps; never widens the window
  text->setLineWrapMode(QTextEdit::WidgetWidth);
  text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  text->document()->setDocumentMargin(kPadding);
  layout->addWidget(text);

  QTextCharFormat nameFormat;
  nameFormat.setFont(ui::roleFont(ui::FontRole::headline));
  QFont licenseFont = ui::roleFont(ui::FontRole::caption);
  licenseFont.setStyleHint(QFont::Monospace);
  licenseFont.setFamilies({QStringLiteral("monospace")});
  QTextCharFormat licenseFormat;
  licenseFormat.setFont(licenseFont);

  const std::string_view folder = licenseFolder.empty() ? kLicenseResourceFolder : licenseFolder;
  QTextCursor cursor(text->document());
  bool first = true;
  for (const ThirdPartyComponent& component : thirdPartyComponents()) {
    QTextBlockFormat nameBlock;
    nameBlock.setTopMargin(first ? 0 : kEntrySpacing);
    nameBlock.setBottomMargin(kNameSpacing);
    if (first) {
      cursor.setBlockFormat(nameBlock);
    } else {
      cursor.insertBlock(nameBlock);
    }
    first = false;
    cursor.insertText(ui::qtText(component.name), nameFormat);
    const std::optional<std::string> license = licenseText(component.licenseResourceName, folder);
    cursor.insertBlock(QTextBlockFormat());
    cursor.insertText(
        ui::qtText(license ? *license : localization.lookup("acknowledgments.licenseUnavailable")),
        licenseFormat);
  }
  text->moveCursor(QTextCursor::Start);

  // Escape closes it, as it closes the application's sheets; the text view has no use for the key.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
}

}  // namespace lorvex::app
