// The folder picker, answered through its own widgets.
#include <QAbstractItemModel>
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

using uitest::Later;
using uitest::ModalScript;

std::string StatusText(QWidget* picker) {
  return picker->findChild<QLineEdit*>("statusText")->text().toStdString();
}

QPushButton* Button(QWidget* picker, QDialogButtonBox::StandardButton which) {
  return picker->findChild<QDialogButtonBox*>()->button(which);
}

std::string Selected(FolderBrowserDialog* picker) {
  std::string path;
  return picker->PathFromItem(picker->SelectedItem(), path) ? path : "(none)";
}

// A step that presses a button of the picker once `ready` holds.
std::function<bool(QWidget*)> Press(QDialogButtonBox::StandardButton which,
                                    std::function<bool(FolderBrowserDialog*)> ready) {
  return [which, ready](QWidget* modal) {
    auto* picker = qobject_cast<FolderBrowserDialog*>(modal);
    if (picker == nullptr || !ready(picker)) return false;
    QPushButton* button = Button(picker, which);
    Later([button] { button->click(); });
    return true;
  };
}

class FolderPickerTest : public ::testing::Test {
 protected:
  FolderPickerTest() {
    uitest::MakeFolders(scratch / "mods/island");
    uitest::MakeFolders(scratch / "mods/other");
  }
  uitest::ScratchFolder scratch;
};

TEST_F(FolderPickerTest, OpensWithTheInitialFolderSelectedAndReturnsItOnOk) {
  const std::string island = scratch / "mods/island";
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Ok, [&](FolderBrowserDialog* picker) {
    EXPECT_EQ(picker->windowTitle(), "Compress folder..");
    EXPECT_EQ(picker->findChild<QLabel*>("titleText")->text(), "Compress folder..");
    EXPECT_EQ(Selected(picker), island);
    EXPECT_EQ(StatusText(picker), island);
    EXPECT_TRUE(Button(picker, QDialogButtonBox::Ok)->isEnabled());
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", island.c_str()), 1);
  EXPECT_EQ(folder, island);
  EXPECT_EQ(g_strInitialFolder, island);
}

TEST_F(FolderPickerTest, StatusLineFollowsTheSelectionTheUserMakes) {
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Ok, [&](FolderBrowserDialog* picker) {
    auto* tree = picker->findChild<QTreeView*>("folderTree");
    // Wait until the folder's listing has arrived, then step down one row.
    if (tree->model()->rowCount(picker->SelectedItem().parent()) != 2) return false;
    QTest::keyClick(tree, Qt::Key_Down);
    EXPECT_EQ(Selected(picker), scratch / "mods/other");
    EXPECT_EQ(StatusText(picker), scratch / "mods/other");
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", (scratch / "mods/island").c_str()), 1);
  EXPECT_EQ(folder, scratch / "mods/other");
}

TEST_F(FolderPickerTest, CancelReturnsZeroAndLeavesTheStringUntouched) {
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [](FolderBrowserDialog*) { return true; }));
  std::string folder = "left alone";
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", (scratch / "mods").c_str()), 0);
  EXPECT_EQ(folder, "left alone");
}

TEST_F(FolderPickerTest, WithoutAnInitialFolderNothingIsSelectedAndTheLastOneIsKept) {
  g_strInitialFolder = scratch / "mods/island";
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [](FolderBrowserDialog* picker) {
    EXPECT_FALSE(picker->SelectedItem().isValid());
    EXPECT_EQ(StatusText(picker), "");
    EXPECT_FALSE(Button(picker, QDialogButtonBox::Ok)->isEnabled()) << "nothing to confirm";
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Pick", nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(g_strInitialFolder, scratch / "mods/island");
}

TEST_F(FolderPickerTest, PathsOfAnyLengthAreSelectedShownAndReturned) {
  std::string deep = scratch / "mods";
  for (int level = 0; level < 30; ++level) deep += "/folder-level-" + std::to_string(100000 + level);
  uitest::MakeFolders(deep);
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Ok, [&](FolderBrowserDialog* picker) {
    EXPECT_EQ(StatusText(picker), deep);
    return true;
  }));
  std::string folder;
  EXPECT_EQ(BrowseForFolder(folder, "Compress folder..", nullptr, "", deep.c_str()), 1);
  EXPECT_EQ(folder, deep);
}

// The tree's top, given a root path (relative to the scratch folder; "/"
// stands for the top of the file system) and a folder to preselect.
struct RootCase {
  const char* name;
  const char* root;     // nullptr: none given
  const char* top;      // the one item at the top of the tree
  const char* preselect;
  const char* selected;  // nullptr: nothing selected
};

class FolderPickerRootTest : public FolderPickerTest, public ::testing::WithParamInterface<RootCase> {
 protected:
  std::string Resolve(const char* path) const {
    if (path == nullptr) return "(none)";
    if (std::string(path) == "/") return "/";
    return scratch / path;
  }
};

TEST_P(FolderPickerRootTest, TreeStartsAtTheRootAndPreselectsOnlyWithinIt) {
  const RootCase& c = GetParam();
  std::string root = c.root == nullptr ? "" : std::string(c.root);
  if (!root.empty() && root.front() != '/') root = scratch / root;
  uitest::MakeFolders(scratch / "zz-sibling");
  const std::string topPath = Resolve(c.top);
  ModalScript script;
  script.Then(Press(QDialogButtonBox::Cancel, [&](FolderBrowserDialog* picker) {
    // A rooted tree is checked once the listing of the root's parent (two
    // folders in each case) is in: only then would a sibling show.
    auto* files = picker->findChild<QFileSystemModel*>();
    const QString parent = QFileInfo(QString::fromStdString(topPath)).absolutePath();
    if (topPath != "/" && files->rowCount(files->index(parent)) != 2) return false;
    auto* tree = picker->findChild<QTreeView*>("folderTree");
    const QModelIndex top = tree->rootIndex();
    EXPECT_EQ(tree->model()->rowCount(top), 1);
    std::string shownTop;
    EXPECT_TRUE(picker->PathFromItem(tree->model()->index(0, 0, top), shownTop));
    EXPECT_EQ(shownTop, topPath);
    EXPECT_EQ(Selected(picker), Resolve(c.selected));
    return true;
  }));
  std::string folder;
  BrowseForFolder(folder, "Pick", nullptr, c.root == nullptr ? nullptr : root.c_str(), Resolve(c.preselect).c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Roots, FolderPickerRootTest,
    ::testing::Values(RootCase{"NullRootIsTheTopOfTheFileSystem", nullptr, "/", "mods/island", "mods/island"},
                      RootCase{"EmptyRootIsTheSame", "", "/", "mods/island", "mods/island"},
                      RootCase{"RootFolderStandsAloneAtTheTop", "mods", "mods", "mods/island", "mods/island"},
                      RootCase{"RootItselfCanBeSelected", "mods", "mods", "mods", "mods"},
                      RootCase{"FolderOutsideTheRootIsNotSelected", "mods/other", "mods/other", "mods/island",
                               nullptr},
                      RootCase{"MissingRootFallsBackToTheTop", "/no/such/folder", "/", "mods", "mods"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
