// The folder picker, answered through its own widgets.
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include "ui/folder_picker.h"
#include "ui_support.h"

namespace {

using Button = QDialogButtonBox::StandardButton;

std::string StatusText(QWidget* picker) { return picker->findChild<QLineEdit*>("statusText")->text().toStdString(); }

std::string Selected(FolderBrowserDialog* picker) {
  std::string path;
  return picker->PathFromItem(picker->SelectedItem(), path) ? path : "(none)";
}

// A step that presses a button of the picker once `ready` holds (it may
// check the picker on the way).
std::function<bool(QWidget*)> Press(Button which, std::function<bool(FolderBrowserDialog*)> ready) {
  return [which, ready](QWidget* modal) {
    auto* picker = qobject_cast<FolderBrowserDialog*>(modal);
    if (picker == nullptr || !ready(picker)) return false;
    QPushButton* button = picker->findChild<QDialogButtonBox*>()->button(which);
    uitest::Later([button] { button->click(); });
    return true;
  };
}

class FolderPickerTest : public ::testing::Test {
 protected:
  FolderPickerTest() {
    uitest::MakeFolders(scratch / "mods/island");
    uitest::MakeFolders(scratch / "mods/other");
    uitest::MakeFolders(scratch / "zz-sibling");
  }
  uitest::ScratchFolder scratch;
};

TEST_F(FolderPickerTest, PreselectsTheInitialFolderShowsItsPathAndReturnsIt) {
  // Longer than the 259 characters a path once could hold.
  std::string deep = scratch / "mods";
  for (int level = 0; level < 30; ++level) deep += "/folder-level-" + std::to_string(100000 + level);
  uitest::MakeFolders(deep);
  uitest::ModalScript script;
  script.Then(Press(QDialogButtonBox::Ok, [&](FolderBrowserDialog* picker) {
    EXPECT_EQ(picker->windowTitle(), "Compress folder..");
    EXPECT_EQ(picker->findChild<QLabel*>("titleText")->text(), "Compress folder..");
    EXPECT_EQ(Selected(picker), deep);
    EXPECT_EQ(StatusText(picker), deep);
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", deep.c_str()), 1);
  EXPECT_EQ(folder, deep);
  EXPECT_EQ(g_strInitialFolder, deep);
}

TEST_F(FolderPickerTest, StatusLineFollowsTheSelectionTheUserMakes) {
  uitest::ModalScript script;
  script.Then(Press(QDialogButtonBox::Ok, [&](FolderBrowserDialog* picker) {
    auto* tree = picker->findChild<QTreeView*>("folderTree");
    // Once the listing of "mods" is in, step down from island to other.
    if (tree->model()->rowCount(picker->SelectedItem().parent()) != 2) return false;
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(StatusText(picker), scratch / "mods/other");
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", (scratch / "mods/island").c_str()), 1);
  EXPECT_EQ(folder, scratch / "mods/other");
}

TEST_F(FolderPickerTest, CancelReturnsZeroAndLeavesTheStringUntouched) {
  uitest::ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [](FolderBrowserDialog*) { return true; }));
  std::string folder = "left alone";
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", (scratch / "mods").c_str()), 0);
  EXPECT_EQ(folder, "left alone");
}

TEST_F(FolderPickerTest, WithoutAnInitialFolderNothingIsSelectedAndTheLastOneIsKept) {
  g_strInitialFolder = scratch / "mods/island";
  uitest::ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [](FolderBrowserDialog* picker) {
    EXPECT_EQ(Selected(picker), "(none)");
    EXPECT_EQ(StatusText(picker), "");
    EXPECT_FALSE(picker->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->isEnabled());
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Pick", nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(g_strInitialFolder, scratch / "mods/island");
}

struct RootCase {
  const char* name;
  const char* root;       // relative to the scratch folder; "" for none
  const char* top;        // the one item at the top of the tree; "/" for the file system's
  const char* selected;   // after preselecting mods/island; nullptr for nothing
};

class FolderPickerRootTest : public FolderPickerTest, public ::testing::WithParamInterface<RootCase> {};

TEST_P(FolderPickerRootTest, TreeStartsAtTheRootAndPreselectsOnlyWithinIt) {
  const RootCase& c = GetParam();
  const std::string root = *c.root ? scratch / c.root : "";
  const std::string top = std::string(c.top) == "/" ? "/" : scratch / c.top;
  uitest::ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [&](FolderBrowserDialog* picker) {
    // A root's siblings would show once the listing of its parent (two
    // folders in each case) is in.
    auto* files = picker->findChild<QFileSystemModel*>();
    if (top != "/" && files->rowCount(files->index(QFileInfo(QString::fromStdString(top)).absolutePath())) != 2) {
      return false;
    }
    auto* tree = picker->findChild<QTreeView*>("folderTree");
    EXPECT_EQ(tree->model()->rowCount(tree->rootIndex()), 1);
    std::string shownTop;
    EXPECT_TRUE(picker->PathFromItem(tree->model()->index(0, 0, tree->rootIndex()), shownTop));
    EXPECT_EQ(shownTop, top);
    EXPECT_EQ(Selected(picker), c.selected ? scratch / c.selected : "(none)");
    return true;
  }));
  std::string folder;
  BrowseForFolder(folder, "Pick", nullptr, root.c_str(), (scratch / "mods/island").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Roots, FolderPickerRootTest,
    ::testing::Values(RootCase{"EmptyRootIsTheTopOfTheFileSystem", "", "/", "mods/island"},
                      RootCase{"RootFolderStandsAloneAtTheTop", "mods", "mods", "mods/island"},
                      RootCase{"FolderOutsideTheRootIsNotSelected", "mods/other", "mods/other", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
