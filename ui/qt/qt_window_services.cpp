#include "ui/qt/qt_window_services.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>

#include "ui/qt/folder_picker.h"

namespace {

bool RunFileDialog(QWidget* owner, const FileDialogRequest& request, QFileDialog::AcceptMode mode,
                   std::string& chosenPath) {
  const QString folder = QFile::decodeName(QByteArray::fromStdString(request.initialFolder));
  QFileDialog dialog(owner, QString::fromLocal8Bit(request.title), folder);
  dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("openFileDialog")
                                                       : QStringLiteral("saveFileDialog"));
  dialog.setAcceptMode(mode);
  // AnyFile in both modes: the open dialog takes a typed name of a missing
  // file too (Extract then reports that it cannot open it), and the save
  // dialog asks before it lets an existing file be replaced.
  dialog.setFileMode(QFileDialog::AnyFile);
  // The filter only narrows the listing; without a default suffix a typed
  // name is used exactly as typed.
  dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(request.filterDescription),
                                                      QString::fromLocal8Bit(request.filterPattern)));
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty() || files.first().isEmpty()) return false;
  chosenPath = QFile::encodeName(QDir::toNativeSeparators(files.first())).toStdString();
  return true;
}

}  // namespace

bool QtWindowServices::GetOpenFileName(const FileDialogRequest& request, std::string& chosenPath) {
  return RunFileDialog(owner_, request, QFileDialog::AcceptOpen, chosenPath);
}

bool QtWindowServices::GetSaveFileName(const FileDialogRequest& request, std::string& chosenPath) {
  return RunFileDialog(owner_, request, QFileDialog::AcceptSave, chosenPath);
}

int QtWindowServices::BrowseForFolder(std::string& folder, const char* title, const char* rootPath,
                                      const char* initialFolder) {
  return ::BrowseForFolder(folder, title, owner_, rootPath, initialFolder);
}
