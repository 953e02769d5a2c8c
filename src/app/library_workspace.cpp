#include "app/library_workspace.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "app/library_workspace_rules.h"

namespace lorvex::app {

namespace {

constexpr int kWidthWriteIntervalMs = 500;

}  // namespace

LibraryWorkspace::LibraryWorkspace(ImageLibraryStore& store, const ShellViews& views,
                                   ResultsGridActions actions, platform::Settings appStorage, QWidget* parent)
    : QWidget(parent), appStorage_(std::move(appStorage)) {
  setObjectName(QStringLiteral("libraryWorkspace"));
  isInspectorPresented_ = appStorage_.boolean(kInspectorPresentedKey).value_or(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  toolbar_ = new QToolBar(this);
  toolbar_->setObjectName(QStringLiteral("workspaceToolbar"));
  toolbar_->setMovable(false);
  toolbar_->setFloatable(false);
  auto* spacer = new QWidget(toolbar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  toolbar_->addWidget(spacer);
  layout->addWidget(toolbar_);

  splitter_ = new QSplitter(Qt::Horizontal, this);
  splitter_->setObjectName(QStringLiteral("workspaceSplitter"));
  splitter_->setChildrenCollapsible(false);
  layout->addWidget(splitter_, 1);

  grid_ = new QWidget(splitter_);
  grid_->setObjectName(QStringLiteral("workspace.grid"));
  grid_->setMinimumWidth(kWorkspaceGridMinimumWidth);
  auto* gridLayout = new QVBoxLayout(grid_);
  gridLayout->setContentsMargins(0, 0, 0, 0);
  if (views.resultsGrid) {
    gridSlot_ = views.resultsGrid(store, std::move(actions), grid_);
    if (gridSlot_.widget) gridLayout->addWidget(gridSlot_.widget);
  }
  splitter_->addWidget(grid_);

  inspector_ = new QWidget(splitter_);
  inspector_->setObjectName(QStringLiteral("workspace.inspector"));
  inspector_->setMinimumWidth(static_cast<int>(kInspectorMinimumWidth));
  inspector_->setMaximumWidth(static_cast<int>(kInspectorMaximumWidth));
  auto* inspectorLayout = new QVBoxLayout(inspector_);
  inspectorLayout->setContentsMargins(0, 0, 0, 0);
  if (views.detailPanel) {
    if (QWidget* panel = views.detailPanel(store, inspector_)) inspectorLayout->addWidget(panel);
  }
  splitter_->addWidget(inspector_);
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 0);
  inspector_->setVisible(isInspectorPresented_);
  inspector_->installEventFilter(this);
  splitter_->installEventFilter(this);

  if (views.inspectorToggle) {
    toggleSlot_ =
        views.inspectorToggle([this](bool presented) { setInspectorPresented(presented); }, toolbar_);
    if (toggleSlot_.widget) {
      auto* action = toolbar_->addWidget(toggleSlot_.widget);
      action->setObjectName(QStringLiteral("imageDetailPanel"));
      toggleSlot_.widget->setObjectName(QStringLiteral("imageDetailPanel"));
    }
    if (toggleSlot_.setPresented) toggleSlot_.setPresented(isInspectorPresented_);
  }

  writeTimer_.setSingleShot(true);
  writeTimer_.setInterval(kWidthWriteIntervalMs);
  connect(&writeTimer_, &QTimer::timeout, this, &LibraryWorkspace::flushSettings);
}

LibraryWorkspace::~LibraryWorkspace() {
  flushSettings();
}

void LibraryWorkspace::setInspectorPresented(bool presented) {
  if (isInspectorPresented_ == presented) return;
  isInspectorPresented_ = presented;
  appStorage_.setBoolean(kInspectorPresentedKey, presented);
  hasAppliedWidth_ = false;
  inspector_->setVisible(presented);
  if (presented) applyInspectorWidth();
  if (toggleSlot_.setPresented) toggleSlot_.setPresented(presented);
  Q_EMIT inspectorPresentedChanged(presented);
}

void LibraryWorkspace::setQuickLookPresented(bool presented) {
  if (gridSlot_.setQuickLookPresented) gridSlot_.setQuickLookPresented(presented);
}

void LibraryWorkspace::requestGridKeyboardFocus() {
  if (gridSlot_.requestKeyboardFocus) gridSlot_.requestKeyboardFocus();
}

std::optional<double> LibraryWorkspace::storedWidth() const {
  if (pendingWidth_) return pendingWidth_;
  if (const auto real = appStorage_.real(kInspectorRememberedWidthKey)) return real;
  if (const auto integer = appStorage_.integer(kInspectorRememberedWidthKey))
    return static_cast<double>(*integer);
  return std::nullopt;
}

double LibraryWorkspace::inspectorIdealWidth() const {
  return effectiveRememberedWidth(storedWidth());
}

void LibraryWorkspace::applyInspectorWidth() {
  const int total = splitter_->width();
  const int ideal = static_cast<int>(inspectorIdealWidth() + 0.5);
  if (total <= 0 || !isVisible()) return;
  isApplyingWidth_ = true;
  splitter_->setSizes({std::max(total - ideal - splitter_->handleWidth(), 0), ideal});
  isApplyingWidth_ = false;
  // From now on a change of the inspector's width is the user's (or the window's) doing.
  hasAppliedWidth_ = true;
}

void LibraryWorkspace::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (isInspectorPresented_) applyInspectorWidth();
}

bool LibraryWorkspace::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    // The first layout after showing places the inspector at its remembered width; only later
    // changes are reported, or every launch would store whatever the first layout gave.
    if (watched == splitter_ && !hasAppliedWidth_ && isInspectorPresented_) applyInspectorWidth();
    if (watched == inspector_ && inspector_->isVisible() && hasAppliedWidth_ && !isApplyingWidth_)
      inspectorResized();
  }
  return QWidget::eventFilter(watched, event);
}

void LibraryWorkspace::inspectorResized() {
  const std::optional<double> toStore =
      rememberedWidthToStore(static_cast<double>(inspector_->width()), storedWidth());
  if (!toStore) return;
  pendingWidth_ = toStore;
  if (!writeTimer_.isActive()) writeTimer_.start();
}

void LibraryWorkspace::flushSettings() {
  writeTimer_.stop();
  if (!pendingWidth_) return;
  const double width = *pendingWidth_;
  pendingWidth_.reset();
  appStorage_.setReal(kInspectorRememberedWidthKey, width);
}

}  // namespace lorvex::app
