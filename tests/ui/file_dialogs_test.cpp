// The Qt file dialogs behind the commands, answered through their widgets.
#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "ui/qt_window_services.h"
#include "ui_support.h"

namespace {

using uitest::Later;

struct FileDialogCase {
  const char* name;
  bool save;
  const char* typed;
  // The answer to "replace the existing file?"; NoButton when not asked.
  QMessageBox::StandardButton replace;
  bool confirmed;
};

class FileDialogTest : public ::testing::TestWithParam<FileDialogCase> {};

TEST_P(FileDialogTest, ReturnsTheTypedNameInTheDialogsFolderOrNothing) {
  const FileDialogCase& c = GetParam();
  uitest::ScratchFolder scratch;
  uitest::WriteFile(scratch / "data/old.vrk", "old");
  FileDialogRequest request;
  request.title = c.save ? "Save to..." : "Extract file...";
  request.initialFolder = scratch / "data";

  uitest::ModalScript script;
  script.Then([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    EXPECT_EQ(dialog->windowTitle().toStdString(), request.title);
    EXPECT_EQ(dialog->acceptMode(), c.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), request.initialFolder);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"VRK files (*.vrk)"});
    EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails)) << "the list shows just \"VRK files\"";
    // Typed as a user types (selectFile() leaves a focused field alone).
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(c.typed);
    Later([dialog] { static_cast<QDialog*>(dialog)->accept(); });
    return true;
  });
  if (c.replace != QMessageBox::NoButton) {
    script.Then([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr) return false;
      QAbstractButton* button = box->button(c.replace);
      Later([button] { button->click(); });
      return true;
    });
  }
  if (!c.confirmed) {
    script.Then([](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog != nullptr) Later([dialog] { dialog->reject(); });
      return dialog != nullptr;
    });
  }

  QtWindowServices services(nullptr);
  std::string chosen = "untouched";
  const bool confirmed =
      c.save ? services.GetSaveFileName(request, chosen) : services.GetOpenFileName(request, chosen);
  EXPECT_EQ(confirmed, c.confirmed);
  EXPECT_EQ(chosen, c.confirmed ? scratch / "data/" + c.typed : "untouched");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/old.vrk"), "old") << "a dialog never writes";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FileDialogTest,
    ::testing::Values(FileDialogCase{"OpenExisting", false, "old.vrk", QMessageBox::NoButton, true},
                      FileDialogCase{"OpenMissingNameAsTyped", false, "missing.vrk", QMessageBox::NoButton, true},
                      FileDialogCase{"SaveNewNameWithoutExtension", true, "maps", QMessageBox::NoButton, true},
                      FileDialogCase{"SaveOverExistingAfterYes", true, "old.vrk", QMessageBox::Yes, true},
                      FileDialogCase{"SaveOverExistingRefusedThenCancel", true, "old.vrk", QMessageBox::No, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
