#include "app/folder_picker.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QPointer>
#include <QTreeView>

#include "ui/common/plain_text.h"

namespace lorvex::app {

namespace {

class FileDialogFolderPicker final : public FolderPicker {
 public:
  void open(QWidget* parent, bool allowsMultipleSelection, std::function<void(FolderPickerResult)> completion,
            std::function<void()> dismissed) override {
    openFor(parent, FolderPickerOptions{allowsMultipleSelection, {}, {}}, std::move(completion),
            std::move(dismissed));
  }

  void openFor(QWidget* parent, const FolderPickerOptions& options,
               std::function<void(FolderPickerResult)> completion, std::function<void()> dismissed) override {
    const bool allowsMultipleSelection = options.allowsMultipleSelection;
    // Without a folder of its own the dialog would show the process's working folder.
    auto* dialog = new QFileDialog(
        parent, ui::qtText(options.title),
        ui::qtText(options.startFolder.empty() ? QDir::homePath().toStdString() : options.startFolder));
    dialog->setObjectName(QStringLiteral("folderPicker"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setWindowModality(Qt::WindowModal);
    if (allowsMultipleSelection) {
      // The non-native dialog chooses one folder unless its views allow more.
      for (auto* view : dialog->findChildren<QListView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
      for (auto* view : dialog->findChildren<QTreeView*>())
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
    QObject::connect(
        dialog, &QFileDialog::finished, dialog,
        [dialog, completion = std::move(completion), dismissed = std::move(dismissed)](int result) {
          // The dismissal first: the completion must not depend on the open request.
          if (dismissed) dismissed();
          if (result != QDialog::Accepted || !completion) return;
          std::vector<std::string> folders;
          for (const QString& path : dialog->selectedFiles()) folders.push_back(ui::stdText(path));
          completion(std::move(folders));
        });
    dialog->open();
  }
};

}  // namespace

std::unique_ptr<FolderPicker> makeFileDialogFolderPicker() {
  return std::make_unique<FileDialogFolderPicker>();
}

}  // namespace lorvex::app
