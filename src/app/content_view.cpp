#include "app/content_view.h"

#include <QChildEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QSplitter>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "app/library_workspace.h"
#include "app/shortcut_help_sheet.h"
#include "store/image_library_store.h"
#include "ui/common/accessibility_hiding.h"
#include "ui/review/delete_candidate_feedback_overlay.h"

namespace lorvex::app {

namespace {

// A layer of the stack: an empty container named for its slot, holding the view when there is one.
QWidget* makeLayer(const QString& name, QWidget* parent) {
  auto* layer = new QWidget(parent);
  layer->setObjectName(name);
  auto* layout = new QVBoxLayout(layer);
  layout->setContentsMargins(0, 0, 0, 0);
  return layer;
}

// Into the layer's layout, unless the view placed itself there already.
void place(QWidget* layer, QWidget* view) {
  if (view && layer->layout()->indexOf(view) < 0) layer->layout()->addWidget(view);
}

// The banner's layer: it covers the window like every layer, but takes the pointer only where its
// content is (the banner places itself over its host), so the grid under the rest stays usable.
class PassThroughLayer final : public QWidget {
 public:
  explicit PassThroughLayer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("feedbackOverlay"));
  }

 protected:
  void childEvent(QChildEvent* event) override {
    QWidget::childEvent(event);
    if (event->added() && event->child()->isWidgetType()) event->child()->installEventFilter(this);
    updateMask();
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::Hide:
        updateMask();
        break;
      default:
        break;
    }
    return QWidget::eventFilter(watched, event);
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    updateMask();
  }

 private:
  void updateMask() {
    const QRegion content = childrenRegion();
    // An empty mask would mean no mask at all: the whole layer would take the pointer.
    setMask(content.isEmpty() ? QRegion(-1, -1, 1, 1) : content);
  }
};

}  // namespace

ContentView::ContentView(ImageLibraryStore& store, ui::ViewResourceDisplay resourceDisplay,
                         platform::Settings appStorage, const ShellViews& views, FolderPicker& folderPicker,
                         const ui::AppLocalization& localization, QWidget* parent)
    : QWidget(parent),
      store_(store),
      views_(views),
      folderPicker_(folderPicker),
      appStorage_(appStorage),
      localization_(localization),
      state_(std::make_unique<ContentViewState>(store)) {
  setObjectName(QStringLiteral("contentView"));
  ContentViewState* state = state_.get();

  stack_ = new QStackedLayout(this);
  stack_->setStackingMode(QStackedLayout::StackAll);
  stack_->setContentsMargins(0, 0, 0, 0);

  // 1. The split view: sidebar | workspace.
  splitView_ = new QSplitter(Qt::Horizontal, this);
  splitView_->setObjectName(QStringLiteral("splitView"));
  ui::setHiddenFromAccessibility(*splitView_, false);
  splitView_->setChildrenCollapsible(false);
  QWidget* sidebar = makeLayer(QStringLiteral("splitView.sidebar"), splitView_);
  const auto showFolderImporter = [state] { state->presentFolderImporter(); };
  const auto reauthorizeFolder = [state](const std::string& path) {
    state->presentFolderReauthorization(path);
  };
  if (views_.filterSidebar) {
    place(sidebar,
          views_.filterSidebar(store_, resourceDisplay, showFolderImporter, reauthorizeFolder, sidebar));
  }
  ResultsGridActions actions{
      .showFolderImporter = showFolderImporter,
      .reauthorizeFolder = reauthorizeFolder,
      .showShortcutHelp = [state] { state->presentShortcutHelp(); },
      .showQuickLook = [state](const std::string& url) { state->presentQuickLook(url); },
  };
  workspace_ = new LibraryWorkspace(store_, views_, std::move(actions), std::move(appStorage), splitView_);
  splitView_->addWidget(sidebar);
  splitView_->addWidget(workspace_);
  splitView_->setStretchFactor(0, 0);
  splitView_->setStretchFactor(1, 1);
  stack_->addWidget(splitView_);

  // 2. The indexing card.
  indexingCard_ = makeLayer(QStringLiteral("indexingCard"), this);
  if (views_.indexingCard) place(indexingCard_, views_.indexingCard(store_, resourceDisplay, indexingCard_));
  stack_->addWidget(indexingCard_);

  // 3. The preview overlay.
  preview_ = makeLayer(QStringLiteral("previewOverlay"), this);
  if (views_.previewOverlay) {
    previewSlot_ =
        views_.previewOverlay(store_,
                              PreviewActions{
                                  .showPrevious = [state] { state->showPreviousQuickLookImage(); },
                                  .showNext = [state] { state->showNextQuickLookImage(); },
                                  .startSlideshow = [state] { state->startSlideshowFromQuickLook(); },
                                  .dismiss = [state] { state->dismissQuickLook(); },
                              },
                              preview_);
    place(preview_, previewSlot_.widget);
  }
  stack_->addWidget(preview_);

  // 4. The feedback banner, placing itself over its layer.
  feedback_ = new PassThroughLayer(this);
  if (views_.feedbackOverlay) {
    QWidget* banner = views_.feedbackOverlay(
        store_, [state] { state->undoFromFeedback(); }, feedback_);
    // The banner is about the grid's images: after its Undo or close the grid has the keyboard
    // again, so Delete and the arrows go on where they left off.
    if (auto* overlay = qobject_cast<ui::DeleteCandidateFeedbackOverlay*>(banner)) {
      LibraryWorkspace* workspace = workspace_;
      connect(overlay, &ui::DeleteCandidateFeedbackOverlay::actionTaken, workspace,
              &LibraryWorkspace::requestGridKeyboardFocus);
    }
  }
  stack_->addWidget(feedback_);

  // Back to front, whatever the layout made current.
  for (QWidget* layer : {static_cast<QWidget*>(splitView_), indexingCard_, preview_, feedback_})
    layer->raise();

  if (views_.slideshowPresenter)
    views_.slideshowPresenter(
        store_, [state] { state->closeSlideshow(); }, this);

  connect(state, &ContentViewState::compositionChanged, this, &ContentView::applyComposition);
  connect(state, &ContentViewState::quickLookURLChanged, this, &ContentView::applyQuickLook);
  connect(state, &ContentViewState::folderImportRequestChanged, this, &ContentView::applyFolderImport);
  connect(state, &ContentViewState::shortcutHelpPresentedChanged, this, &ContentView::applyShortcutHelp);
  connect(&store_.review(), &ReviewModel::deleteCandidateFeedbackChanged, this, &ContentView::applyFeedback);
  applyComposition();
  applyQuickLook();
  applyFeedback();
}

ContentView::~ContentView() {
  if (shortcutHelp_) delete shortcutHelp_.data();
}

void ContentView::applyComposition() {
  // Without a library nothing in it can work: the card alone says why.
  splitView_->setVisible(!state_->isLibraryUnavailable());
  splitView_->setEnabled(!state_->isSplitViewDisabled());
  // Behind the preview it is neither usable nor to be read out.
  ui::setHiddenFromAccessibility(*splitView_, state_->quickLookURL().has_value());
  indexingCard_->setVisible(state_->isPreparing() || state_->isLibraryUnavailable());
}

void ContentView::applyQuickLook() {
  const std::optional<std::string>& url = state_->quickLookURL();
  if (url && previewSlot_.setURL) previewSlot_.setURL(*url);
  preview_->setVisible(url.has_value());
  if (url && previewSlot_.widget) previewSlot_.widget->setFocus(Qt::OtherFocusReason);
  workspace_->setQuickLookPresented(url.has_value());
  applyComposition();
}

void ContentView::applyFeedback() {
  feedback_->setVisible(store_.review().deleteCandidateFeedback().has_value());
}

void ContentView::applyFolderImport() {
  const auto& request = state_->folderImport().request();
  if (!request || isPickerOpen_) return;
  isPickerOpen_ = true;
  QPointer<ContentView> self(this);
  const FolderPickerOptions options{
      request->allowsMultipleSelection(),
      folderPickerTitle(*request, localization_),
      folderPickerStartFolder(
          *request, appStorage_.string(kLastChosenFolderKey), QDir::homePath().toStdString(),
          [](const std::string& path) { return QFileInfo(QString::fromStdString(path)).isDir(); }),
  };
  folderPicker_.openFor(
      window(), options,
      [self](FolderPickerResult result) {
        if (!self) return;
        if (const auto* folders = std::get_if<std::vector<std::string>>(&result);
            folders && !folders->empty()) {
          self->appStorage_.setString(kLastChosenFolderKey, folders->front());
        }
        self->state_->completeFolderImport(result);
      },
      [self] {
        if (!self) return;
        self->isPickerOpen_ = false;
        self->state_->dismissFolderImporter();
      });
}

void ContentView::applyShortcutHelp() {
  if (!state_->isShortcutHelpPresented() || shortcutHelp_) return;
  auto* sheet = new ShortcutHelpSheet(ShortcutHelpPresentation::make(localization_),
                                      ShortcutHelpSheetLayout{}, localization_, window());
  sheet->setAttribute(Qt::WA_DeleteOnClose);
  shortcutHelp_ = sheet;
  ContentViewState* state = state_.get();
  connect(sheet, &QDialog::finished, this, [state] { state->setShortcutHelpPresented(false); });
  sheet->open();
}

void ContentView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!undoKey_ && views_.undoKey) {
    ContentViewState* state = state_.get();
    undoKey_ = views_.undoKey(*window(), [state] { return state->undoFromKey(); });
  }
  // Posted, so the window is on screen before the library work starts; the store starts one
  // launch workflow at most however often this runs.
  QPointer<ContentView> self(this);
  QTimer::singleShot(0, this, [self] {
    if (self) self->store_.library().startLaunchWorkflow();
  });
}

}  // namespace lorvex::app
