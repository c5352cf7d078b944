// The folder picker: a modal dialog with a title, a status line that shows
// the full path of the selected folder, and a tree of the file system's
// folders.
//
// BrowseForFolder runs it. What happens when it opens and when the selection
// changes is up to BrowseCallbackProc, which the dialog calls with
// BFFM_INITIALIZED and BFFM_SELCHANGED; the preselection reaches the
// callback through g_strInitialFolder.
#pragma once

#include <cstdint>
#include <string>

#include <QDialog>
#include <QModelIndex>
#include <QString>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QTreeView;
class FolderTreeFilter;

// The folder selected when the next picker opens, if its caller asked for
// a preselection. Kept between calls.
extern std::string g_strInitialFolder;

// What the picker tells its callback.
enum BrowseMessage : unsigned {
  BFFM_INITIALIZED = 1,  // the dialog has just opened; item is null
  BFFM_SELCHANGED = 2,   // the selection changed to *item
};

class FolderBrowserDialog;

// The callback of every picker: selects g_strInitialFolder on opening when
// data is not 0, and puts each new selection's path in the status line.
// Returns 0.
int BrowseCallbackProc(FolderBrowserDialog* dialog, unsigned message, const QModelIndex* item, std::intptr_t data);

// Lets the user choose one existing folder. title: shown above the tree and
// as the window's caption. owner: the window it is modal to. rootPath: the
// folder at the top of the tree; null, empty or not an existing folder means
// the top of the file system. initialFolder: selected when the dialog opens;
// null selects nothing. Paths are native, in the system's 8-bit encoding, of
// any length. Returns 1 with folder set to the chosen folder's full path, or
// 0 (cancelled) with folder untouched.
int BrowseForFolder(std::string& folder, const char* title, QWidget* owner, const char* rootPath,
                    const char* initialFolder);

class FolderBrowserDialog : public QDialog {
  Q_OBJECT
 public:
  using Callback = int (*)(FolderBrowserDialog*, unsigned, const QModelIndex*, std::intptr_t);

  FolderBrowserDialog(const QString& title, QWidget* owner, const QString& rootPath, Callback callback,
                      std::intptr_t data);
  ~FolderBrowserDialog() override;

  // Selects the folder at a native path and brings it into view. A path that
  // is not a folder in the tree leaves the selection as it was.
  void SetSelection(const std::string& path);
  // Replaces the text of the status line.
  void SetStatusText(const std::string& text);
  // The native full path of a tree item; false for an item without one.
  bool PathFromItem(const QModelIndex& item, std::string& path) const;
  // The item selected now (invalid when none is).
  QModelIndex SelectedItem() const;

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnSelectionChanged();
  void OnDirectoryLoaded(const QString& path);
  void ScrollToSelection();

  Callback callback_;
  std::intptr_t data_;
  bool initialized_ = false;
  // Set by SetSelection until the user touches the tree: folders that finish
  // loading later move the rows, and the selection is scrolled back into view.
  bool keepSelectionInView_ = false;

  QFileSystemModel* model_;
  FolderTreeFilter* filter_;
  QLabel* title_;
  QLineEdit* status_;
  QTreeView* tree_;
  QDialogButtonBox* buttons_;
};
