#include "ui/sidebar/library_section_widgets.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/common/accessibility_identifiers.h"
#include "ui/common/busy_indicator.h"
#include "ui/common/eliding_label.h"
#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"
#include "ui/sidebar/sidebar_menus.h"

namespace lorvex::ui {
namespace {

using Kind = LibrarySidebarSummaryPresentation::Kind;

QColor summaryColor(Kind kind, const QPalette& palette) {
  switch (kind) {
    case Kind::loading:
    case Kind::empty:
    case Kind::checking:
      return roleColor(ColorRole::secondary, palette);
    case Kind::registered:
      return roleColor(ColorRole::primary, palette);
    case Kind::accessRequired:
      return roleColor(ColorRole::red, palette);
    case Kind::missing:
      return QColor(0xE6, 0x7E, 0x22);  // orange: the system has no orange role
  }
  return roleColor(ColorRole::primary, palette);
}

QColor orange() {
  return summaryColor(Kind::missing, QPalette());
}

// The name line besides the name and the status: the 16-point icon and the 8-point gaps around them.
constexpr int kNameLineFixedWidth = 16 + 8 + 8 + 8 + 8;

}  // namespace

LibrarySectionHeader::LibrarySectionHeader(const AppLocalization& localizer,
                                           std::function<LibraryActionRules()> rules,
                                           LibraryHeaderMenuActions actions, QWidget* parent)
    : QWidget(parent), localizer_(localizer) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  layout->setSpacing(6);
  toggle_ = new QToolButton(this);
  toggle_->setObjectName(qtText(accessibility_id::kSidebarLibrarySectionToggle));
  toggle_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toggle_->setAutoRaise(true);
  toggle_->setFont(roleFont(FontRole::headline, QFont::DemiBold));
  toggle_->setIconSize(QSize(12, 12));
  toggle_->setStyleSheet("QToolButton { border: none; padding: 0; }");
  connect(toggle_, &QToolButton::clicked, this, &LibrarySectionHeader::toggleRequested);
  layout->addWidget(toggle_);
  layout->addStretch(1);
  actions_ =
      new EllipsisMenuButton([rules = std::move(rules), actions = std::move(actions),
                              &localizer] { return makeLibraryHeaderMenu(rules(), actions, localizer); },
                             this);
  actions_->setObjectName(qtText(accessibility_id::kSidebarLibraryActions));
  const QString manage = qtText(localizer.lookup(AppLocalizationKey::libraryManageSources));
  setPlainToolTip(*actions_, manage);
  actions_->setAccessibleName(manage);
  layout->addWidget(actions_);
  setExpanded(true);
}

void LibrarySectionHeader::setExpanded(bool isExpanded) {
  if (isExpanded_ == isExpanded) return;
  isExpanded_ = isExpanded;
  const auto toggle = LibrarySectionTogglePresentation::make(isExpanded, localizer_);
  toggle_->setIcon(symbolIcon(toggle.chevronSymbol));
  toggle_->setProperty("chevronSymbol", qtText(toggle.chevronSymbol));
  toggle_->setText(mnemonicSafe(qtText(toggle.title)));
  setPlainToolTip(*toggle_, qtText(toggle.helpText));
  toggle_->setAccessibleName(qtText(toggle.helpText));
}

LibrarySummaryRow::LibrarySummaryRow(QWidget* parent) : QWidget(parent) {
  setObjectName("sidebar.library.summary");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 2, 0, 2);
  layout->setSpacing(8);
  busy_ = new BusyIndicator(BusyIndicator::Size::small, this);
  busy_->hide();
  layout->addWidget(busy_);
  // The state shortens to fit the column; the count beside it stays whole.
  leading_ = new ElidingLabel({}, this);
  leading_->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
  layout->addWidget(leading_, 1);
  trailing_ = makePlainLabel({}, this);
  trailing_->setFont(roleFont(FontRole::caption, QFont::DemiBold));
  setForegroundColor(*trailing_, roleColor(ColorRole::secondary));
  layout->addWidget(trailing_);
}

void LibrarySummaryRow::setSummary(const LibrarySidebarSummaryPresentation& summary) {
  if (summary_ == summary) return;
  summary_ = summary;
  busy_->setVisible(summary.showsProgress);
  leading_->setText(qtText(summary.leadingText));
  setForegroundColor(*leading_, summaryColor(summary.kind, palette()));
  trailing_->setVisible(summary.trailingText.has_value());
  trailing_->setText(summary.trailingText ? qtText(*summary.trailingText) : QString());
  setAccessibleName(leading_->text() + (summary.trailingText ? ", " + trailing_->text() : QString()));
}

QString LibrarySummaryRow::leadingText() const {
  return leading_->text();
}
QString LibrarySummaryRow::trailingText() const {
  return trailing_->text();
}

RegisteredFolderRow::RegisteredFolderRow(const std::string& path,
                                         std::function<std::vector<SidebarMenuEntry>()> menu,
                                         const AppLocalization& localizer, QWidget* parent)
    : QWidget(parent) {
  // The row's height follows its text block (height for width), so a wrapped error line gets the
  // lines it needs; the menu stays at the top.
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 3, 0, 3);
  layout->setSpacing(6);

  textBlock_ = new QWidget(this);
  auto* text = new QVBoxLayout(textBlock_);
  text->setContentsMargins(0, 0, 0, 0);
  text->setSpacing(5);
  auto* nameLine = new QHBoxLayout;
  nameLine->setSpacing(8);
  icon_ = new QLabel(textBlock_);
  icon_->setFixedWidth(16);
  nameLine->addWidget(icon_);
  name_ = new ElidingLabel({}, textBlock_);
  name_->setElideMode(Qt::ElideMiddle);
  name_->setFont(roleFont(FontRole::subheadline, QFont::DemiBold));
  nameLine->addWidget(name_, 1);
  // Both shorten when the column is narrow: the name in the middle, the status at its end.
  status_ = new ElidingLabel({}, textBlock_);
  status_->setFont(roleFont(FontRole::caption2, QFont::DemiBold));
  nameLine->addSpacing(8);
  nameLine->addWidget(status_);
  text->addLayout(nameLine);
  path_ = new ElidingLabel({}, textBlock_);
  path_->setElideMode(Qt::ElideMiddle);
  path_->setFont(roleFont(FontRole::caption2));
  setForegroundColor(*path_, roleColor(ColorRole::secondary));
  text->addWidget(path_);
  error_ = new WrappedTextLabel({}, textBlock_);
  // The kind's text, the error's code and the folder's name: room for all three in a narrow sidebar.
  error_->setMaximumLineCount(3);
  error_->setFont(roleFont(FontRole::caption2));
  setForegroundColor(*error_, roleColor(ColorRole::red));
  text->addWidget(error_);
  layout->addWidget(textBlock_, 1);

  actions_ = new EllipsisMenuButton(std::move(menu), this);
  actions_->setObjectName(qtText(accessibility_id::registeredFolderActionsIdentifier(path)));
  const QString manage = qtText(localizer.lookup(AppLocalizationKey::libraryManageSources));
  setPlainToolTip(*actions_, manage);
  actions_->setAccessibleName(manage);
  layout->addWidget(actions_, 0, Qt::AlignTop);
}

void RegisteredFolderRow::setFolder(const RegisteredFolderSummary& summary,
                                    const LibrarySidebarFolderRowPresentation& presentation) {
  if (shown_ && shown_->first == summary && shown_->second == presentation) return;
  shown_.emplace(summary, presentation);
  icon_->setPixmap(
      symbolPixmap(presentation.systemImageName, 14, roleColor(ColorRole::secondary), devicePixelRatioF()));
  name_->setText(qtText(presentation.displayName));
  status_->setVisible(presentation.statusText.has_value());
  status_->setText(presentation.statusText ? qtText(*presentation.statusText) : QString());
  setForegroundColor(
      *status_, summary.state == RegisteredFolderAccessState::missing ? orange() : roleColor(ColorRole::red));
  path_->setText(qtText(presentation.displayPath));
  // An available folder shows no error line, even with a recorded last error.
  const bool showsError =
      presentation.lastErrorText && summary.state != RegisteredFolderAccessState::available;
  error_->setVisible(showsError);
  error_->setText(showsError ? qtText(*presentation.lastErrorText) : QString());
  textBlock_->setAccessibleName(qtText(presentation.accessibilityText));
  balanceNameAndStatus();
}

void RegisteredFolderRow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  balanceNameAndStatus();
}

void RegisteredFolderRow::balanceNameAndStatus() {
  // When the name and its status do not both fit, the status gets what the whole name leaves, but
  // at least half the line: both stay readable, each shortened from its own end.
  const int line = textBlock_->width() - kNameLineFixedWidth;
  const int cap = std::max(line / 2, line - name_->sizeHint().width());
  status_->setMaximumWidth(std::max(cap, 0));
}

void RegisteredFolderRow::contextMenuEvent(QContextMenuEvent* event) {
  actions_->popUpContextMenu(event->globalPos());
  event->accept();
}

}  // namespace lorvex::ui
