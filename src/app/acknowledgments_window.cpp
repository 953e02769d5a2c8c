#include "app/acknowledgments_window.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/acknowledgments.h"
#include "ui/common/plain_text.h"
#include "ui/common/ui_roles.h"

namespace lorvex::app {

AcknowledgmentsWindow::AcknowledgmentsWindow(const ui::AppLocalization& localization, QWidget* parent,
                                             std::string_view licenseFolder)
    : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("acknowledgments"));
  setWindowTitle(ui::qtText(localization.lookup("acknowledgments.title")));
  setMinimumSize(kAcknowledgmentsMinimumWidth, kAcknowledgmentsMinimumHeight);
  resize(kAcknowledgmentsMinimumWidth + 80, kAcknowledgmentsMinimumHeight + 160);

  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("acknowledgments.scroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  // A long licence line wraps; it never widens the window.
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(scroll);
  auto* entries = new QVBoxLayout(content);
  entries->setContentsMargins(20, 20, 20, 20);
  entries->setSpacing(24);

  QFont licenseFont = ui::roleFont(ui::FontRole::caption);
  licenseFont.setStyleHint(QFont::Monospace);
  licenseFont.setFamilies({QStringLiteral("monospace")});
  const std::string_view folder = licenseFolder.empty() ? kLicenseResourceFolder : licenseFolder;
  for (const ThirdPartyComponent& component : thirdPartyComponents()) {
    auto* entry = new QWidget(content);
    entry->setObjectName(QStringLiteral("acknowledgments.entry.") + ui::qtText(component.name));
    auto* entryLayout = new QVBoxLayout(entry);
    entryLayout->setContentsMargins(0, 0, 0, 0);
    entryLayout->setSpacing(8);
    auto* name = ui::makePlainLabel(ui::qtText(component.name), entry);
    name->setObjectName(QStringLiteral("acknowledgments.name"));
    name->setFont(ui::roleFont(ui::FontRole::headline));
    const std::optional<std::string> text = licenseText(component.licenseResourceName, folder);
    auto* license = ui::makePlainLabel(
        ui::qtText(text ? *text : localization.lookup("acknowledgments.licenseUnavailable")), entry);
    license->setObjectName(QStringLiteral("acknowledgments.license"));
    license->setFont(licenseFont);
    license->setWordWrap(true);
    license->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    license->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Minimum);
    entryLayout->addWidget(name);
    entryLayout->addWidget(license);
    entries->addWidget(entry);
  }
  entries->addStretch(1);
  scroll->setWidget(content);
  outer->addWidget(scroll);
}

}  // namespace lorvex::app
