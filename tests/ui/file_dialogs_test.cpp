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
using uitest::ModalScript;

// A step that checks the file dialog's settings, types a name and confirms.
std::function<bool(QWidget*)> TypeAndConfirm(const FileDialogRequest& request, QFileDialog::AcceptMode mode,
                                             const QString& typed) {
  return [request, mode, typed](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    EXPECT_EQ(dialog->windowTitle().toStdString(), request.title);
    EXPECT_EQ(dialog->acceptMode(), mode);
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), request.initialFolder);
    EXPECT_EQ(dialog->nameFilters(), QStringList{"VRK files (*.vrk)"});
    EXPECT_TRUE(dialog->testOption(QFileDialog::HideNameFilterDetails)) << "the list shows just \"VRK files\"";
    EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
    // Typed into the name field, as a user does (selectFile() leaves a
    // focused field alone).
    dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
    Later([dialog] { static_cast<QDialog*>(dialog)->accept(); });
    return true;
  };
}

std::function<bool(QWidget*)> AnswerReplaceQuestion(QMessageBox::StandardButton answer) {
  return [answer](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) return false;
    EXPECT_TRUE(box->text().contains("old.vrk"));
    QAbstractButton* button = box->button(answer);
    Later([button] { button->click(); });
    return true;
  };
}

std::function<bool(QWidget*)> CancelFileDialog() {
  return [](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return false;
    Later([dialog] { dialog->reject(); });
    return true;
  };
}

struct FileDialogCase {
  const char* name;
  bool save;
  const char* typed;
  // Answer to the question whether to replace an existing file; NoButton
  // when none is expected.
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
  const QFileDialog::AcceptMode mode = c.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen;

  ModalScript script;
  script.Then(TypeAndConfirm(request, mode, QString::fromUtf8(c.typed)));
  if (c.replace != QMessageBox::NoButton) script.Then(AnswerReplaceQuestion(c.replace));
  if (!c.confirmed) script.Then(CancelFileDialog());

  QtWindowServices services(nullptr);
  std::string chosen = "untouched";
  const bool confirmed =
      c.save ? services.GetSaveFileName(request, chosen) : services.GetOpenFileName(request, chosen);
  EXPECT_EQ(confirmed, c.confirmed);
  EXPECT_EQ(chosen, c.confirmed ? scratch / "data" + "/" + c.typed : "untouched");
  EXPECT_EQ(uitest::ReadFile(scratch / "data/old.vrk"), "old") << "a dialog never writes";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FileDialogTest,
    ::testing::Values(FileDialogCase{"OpenExisting", false, "old.vrk", QMessageBox::NoButton, true},
                      FileDialogCase{"OpenMissingNameAsTyped", false, "missing.vrk", QMessageBox::NoButton, true},
                      FileDialogCase{"SaveNewNameWithoutExtension", true, "maps", QMessageBox::NoButton, true},
                      FileDialogCase{"SaveOverExistingAfterYes", true, "old.vrk", QMessageBox::Yes, true},
                      FileDialogCase{"SaveOverExistingRefused", true, "old.vrk", QMessageBox::No, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileDialog, CancelReturnsFalseAndLeavesThePathAlone) {
  uitest::ScratchFolder scratch;
  ModalScript script;
  script.Then(CancelFileDialog());
  QtWindowServices services(nullptr);
  FileDialogRequest request;
  request.title = "Extract file...";
  request.initialFolder = scratch.path();
  std::string chosen = "untouched";
  EXPECT_FALSE(services.GetOpenFileName(request, chosen));
  EXPECT_EQ(chosen, "untouched");
}

}  // namespace
