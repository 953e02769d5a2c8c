#include "app/shortcut_help_sheet.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/common/plain_text.h"
#include "ui/common/symbol_icon.h"
#include "ui/common/ui_roles.h"
#include "ui/common/wrapped_text_label.h"

namespace lorvex::app {

namespace {

constexpr int kBadgeHorizontalPadding = 8;
constexpr int kBadgeVerticalPadding = 4;
constexpr qreal kBadgeCornerRadius = 5;
constexpr qreal kBadgeBorderOpacity = 0.22;

int px(double value) {
  return static_cast<int>(value + 0.5);
}

}  // namespace

ShortcutKeyBadge::ShortcutKeyBadge(const QString& text, int minimumWidth, QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("shortcutHelp.badge"));
  setTextFormat(Qt::PlainText);
  setText(text);
  QFont font = ui::roleFont(ui::FontRole::body, QFont::Medium);
  font.setStyleHint(QFont::Monospace);
  font.setFamilies({QStringLiteral("monospace")});
  setFont(font);
  setAlignment(Qt::AlignCenter);
  setContentsMargins(kBadgeHorizontalPadding, kBadgeVerticalPadding, kBadgeHorizontalPadding,
                     kBadgeVerticalPadding);
  setMinimumWidth(minimumWidth);
  setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
  setAccessibleName(text);
}

void ShortcutKeyBadge::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);  // the border inside the edge
  QPainterPath path;
  path.addRoundedRect(bounds, kBadgeCornerRadius, kBadgeCornerRadius);
  painter.fillPath(path, ui::roleColor(ui::ColorRole::controlBackground, palette()));
  painter.setPen(
      QPen(ui::withOpacity(ui::roleColor(ui::ColorRole::secondary, palette()), kBadgeBorderOpacity), 1));
  painter.drawPath(path);
  painter.end();
  QLabel::paintEvent(event);
}

ShortcutHelpSheet::ShortcutHelpSheet(const ShortcutHelpPresentation& presentation,
                                     const ShortcutHelpSheetLayout& layout,
                                     const ui::AppLocalization& localization, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("shortcutHelp"));
  setWindowTitle(ui::qtText(presentation.title));
  setWindowModality(Qt::WindowModal);
  setMinimumSize(px(layout.minimumWidth), px(layout.minimumHeight));
  resize(px(layout.idealWidth), px(layout.idealHeight));

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  auto* header = new QHBoxLayout;
  header->setSpacing(12);
  header->setContentsMargins(px(layout.headerHorizontalPadding), px(layout.headerVerticalPadding),
                             px(layout.headerHorizontalPadding), px(layout.headerVerticalPadding));
  const QFont titleFont = ui::roleFont(ui::FontRole::title3, QFont::DemiBold);
  auto* icon = new QLabel(this);
  icon->setPixmap(ui::symbolPixmap("keyboard", QFontMetrics(titleFont).height(),
                                   ui::roleColor(ui::ColorRole::primary, palette()), devicePixelRatioF()));
  auto* title = ui::makePlainLabel(ui::qtText(presentation.title), this);
  title->setObjectName(QStringLiteral("shortcutHelp.title"));
  title->setFont(titleFont);
  auto* close = new QToolButton(this);
  close->setObjectName(QStringLiteral("shortcutHelp.close"));
  close->setIcon(ui::symbolIcon("xmark.circle.fill"));
  close->setIconSize(QSize(20, 20));
  close->setAutoRaise(true);
  const QString closeText = ui::qtText(localization.lookup("common.close"));
  close->setAccessibleName(closeText);
  ui::setPlainToolTip(*close, closeText);
  connect(close, &QToolButton::clicked, this, &QDialog::reject);
  header->addWidget(icon);
  header->addWidget(title);
  header->addStretch(1);
  header->addWidget(close);
  root->addLayout(header);

  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Plain);
  root->addWidget(divider);

  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("shortcutHelp.scroll"));
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* content = new QWidget(scroll);
  auto* sections = new QVBoxLayout(content);
  sections->setSpacing(px(layout.sectionSpacing));
  sections->setContentsMargins(px(layout.contentHorizontalPadding), px(layout.contentVerticalPadding),
                               px(layout.contentHorizontalPadding), px(layout.contentVerticalPadding));
  for (const auto& section : presentation.sections) {
    auto* block = new QWidget(content);
    block->setObjectName(QStringLiteral("shortcutHelp.section.") + ui::qtText(section.id));
    auto* blockLayout = new QVBoxLayout(block);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(px(layout.sectionTitleSpacing));
    auto* sectionTitle = ui::makePlainLabel(ui::qtText(section.title), block);
    sectionTitle->setFont(ui::roleFont(ui::FontRole::headline));
    blockLayout->addWidget(sectionTitle);
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(px(layout.keyActionSpacing));
    grid->setVerticalSpacing(px(layout.itemVerticalSpacing));
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const auto& item : section.items) {
      auto* badge =
          new ShortcutKeyBadge(ui::qtText(item.shortcutText), px(layout.keyBadgeMinimumWidth), block);
      auto* action = new ui::WrappedTextLabel(ui::qtText(item.actionText), block);
      action->setObjectName(QStringLiteral("shortcutHelp.item.") + ui::qtText(rawValue(item.id)));
      action->setFont(ui::roleFont(ui::FontRole::body));
      // As tall as its wrapped text and no taller: extra height goes below the last section,
      // not between rows.
      QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
      policy.setHeightForWidth(true);
      action->setSizePolicy(policy);
      grid->addWidget(badge, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
      grid->addWidget(action, row, 1, Qt::AlignVCenter);
      ++row;
    }
    blockLayout->addLayout(grid);
    sections->addWidget(block);
  }
  sections->addStretch(1);
  scroll->setWidget(content);
  root->addWidget(scroll, 1);
}

}  // namespace lorvex::app
