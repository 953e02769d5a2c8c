// The live folder picker, offscreen: Qt's own dialog for folders only, several folders only for a
// registration, the dismissal reported before the choice, a cancel reported without one.
#include "app/folder_picker.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QFileDialog>
#include <QListView>
#include <QTreeView>

#include "support/temporary_folder.h"
#include "ui/support/widget_test.h"

namespace lorvex::app {
namespace {

class FolderPickerTest : public ui::testing::WidgetTest {
 protected:
  QFileDialog* open(bool multiple) {
    picker->open(
        &parent, multiple,
        [this](FolderPickerResult result) {
          if (const auto* folders = std::get_if<std::vector<std::string>>(&result)) {
            for (const std::string& folder : *folders) events.push_back("chose " + folder);
          } else {
            events.push_back("failed");
          }
        },
        [this] { events.push_back("dismissed"); });
    ui::testing::drainUiEvents();
    return parent.findChild<QFileDialog*>("folderPicker");
  }

  std::unique_ptr<FolderPicker> picker = makeFileDialogFolderPicker();
  QWidget parent;
  std::vector<std::string> events;
};

TEST_F(FolderPickerTest, ChoosesSeveralFoldersOnlyToRegisterThem) {
  for (const bool multiple : {true, false}) {
    SCOPED_TRACE(multiple ? "registration" : "reauthorization");
    QFileDialog* dialog = open(multiple);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    const auto expected =
        multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection;
    const auto lists = dialog->findChildren<QListView*>("listView");
    const auto trees = dialog->findChildren<QTreeView*>("treeView");
    ASSERT_FALSE(lists.isEmpty());
    ASSERT_FALSE(trees.isEmpty());
    EXPECT_EQ(lists.front()->selectionMode(), expected);
    EXPECT_EQ(trees.front()->selectionMode(), expected);
    dialog->reject();
    ui::testing::drainUiEvents();
  }
  // Cancelled twice: dismissed each time, never completed.
  EXPECT_EQ(events, (std::vector<std::string>{"dismissed", "dismissed"}));
  EXPECT_EQ(parent.findChild<QFileDialog*>("folderPicker"), nullptr);  // gone when closed
}

TEST_F(FolderPickerTest, AChoiceComesAfterTheDismissal) {
  lorvex::testing::TemporaryFolder folder;
  std::filesystem::create_directories(folder.path() / "photos");
  QFileDialog* dialog = open(false);
  ASSERT_NE(dialog, nullptr);
  // The user went into the folder and chose it.
  dialog->setDirectory(QString::fromStdString((folder.path() / "photos").string()));
  QMetaObject::invokeMethod(dialog, "accept");  // as its Choose button does
  ui::testing::drainUiEvents();
  EXPECT_EQ(events, (std::vector<std::string>{"dismissed", "chose " + (folder.path() / "photos").string()}));
}

}  // namespace
}  // namespace lorvex::app
