#include "ui/qt/folder_picker.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/qt/dialog_units.h"

std::string g_strInitialFolder;

namespace {

// Native 8-bit path to Qt's form ('/' separators) and back.
QString FromNative(const std::string& path) {
  return QDir::fromNativeSeparators(QFile::decodeName(QByteArray(path.data(), qsizetype(path.size()))));
}
std::string ToNative(const QString& path) { return QFile::encodeName(QDir::toNativeSeparators(path)).toStdString(); }

}  // namespace

// Sorts the folder tree by name and, when the tree has a root, hides the
// root's siblings: the root then stands alone at the top of the tree and can
// be chosen itself, as the top of the file system can when there is no root.
class FolderTreeFilter : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  // root and its parent folder in Qt's form; an empty root shows everything.
  void SetRoot(const QString& root, const QString& rootParent) {
    root_ = root;
    rootParent_ = rootParent;
    invalidateFilter();
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (root_.isEmpty()) return true;
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    if (model->filePath(parent) != rootParent_) return true;
    return model->filePath(model->index(row, 0, parent)) == root_;
  }

 private:
  QString root_;
  QString rootParent_;
};

int BrowseCallbackProc(FolderBrowserDialog* dialog, unsigned message, const QModelIndex* item, std::intptr_t data) {
  switch (message) {
    case BFFM_INITIALIZED:
      if (data != 0) dialog->SetSelection(g_strInitialFolder);
      break;
    case BFFM_SELCHANGED: {
      // An item without a path leaves the status line as it was.
      std::string path;
      if (item != nullptr && dialog->PathFromItem(*item, path)) dialog->SetStatusText(path);
      break;
    }
    default:
      break;
  }
  return 0;
}

int BrowseForFolder(std::string& folder, const char* title, QWidget* owner, const char* rootPath,
                    const char* initialFolder) {
  QString root;
  if (rootPath != nullptr && *rootPath != '\0') root = FromNative(rootPath);

  std::intptr_t data = 0;
  if (initialFolder != nullptr) {
    g_strInitialFolder = initialFolder;
    data = 1;
  }

  FolderBrowserDialog dialog(QString::fromLocal8Bit(title != nullptr ? title : ""), owner, root, BrowseCallbackProc,
                             data);
  if (dialog.exec() != QDialog::Accepted) return 0;
  std::string chosen;
  if (!dialog.PathFromItem(dialog.SelectedItem(), chosen)) return 0;
  folder = std::move(chosen);
  return 1;
}

FolderBrowserDialog::FolderBrowserDialog(const QString& title, QWidget* owner, const QString& rootPath,
                                         Callback callback, std::intptr_t data)
    : QDialog(owner, kDialogFlags),
      callback_(callback),
      data_(data),
      model_(new QFileSystemModel(this)),
      filter_(new FolderTreeFilter(this)),
      title_(new QLabel(title, this)),
      status_(new QLineEdit(this)),
      tree_(new QTreeView(this)),
      buttons_(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
  setObjectName(QStringLiteral("folderBrowser"));
  setWindowTitle(title);

  title_->setObjectName(QStringLiteral("titleText"));
  title_->setTextFormat(Qt::PlainText);
  title_->setWordWrap(true);

  // A read-only line rather than a label: a path of any length stays whole
  // and can be scrolled and copied.
  status_->setObjectName(QStringLiteral("statusText"));
  status_->setReadOnly(true);
  status_->setFrame(false);
  status_->setFocusPolicy(Qt::ClickFocus);
  QPalette statusPalette = status_->palette();
  statusPalette.setColor(QPalette::Base, statusPalette.color(QPalette::Window));
  status_->setPalette(statusPalette);

  model_->setFilter(QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot | QDir::Hidden);
  model_->setReadOnly(true);
  model_->setRootPath(QString());
  filter_->setSourceModel(model_);
  filter_->setSortCaseSensitivity(Qt::CaseInsensitive);
  filter_->setSortLocaleAware(true);

  tree_->setObjectName(QStringLiteral("folderTree"));
  tree_->setModel(filter_);
  tree_->setHeaderHidden(true);
  for (int column = 1; column < model_->columnCount(); ++column) tree_->hideColumn(column);
  tree_->setSortingEnabled(true);
  tree_->sortByColumn(0, Qt::AscendingOrder);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setUniformRowHeights(true);
  tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tree_->header()->setStretchLastSection(false);
  tree_->installEventFilter(this);
  tree_->viewport()->installEventFilter(this);

  const QFileInfo root(rootPath);
  if (!rootPath.isEmpty() && root.isDir() && root.isAbsolute()) {
    const QString rootFolder = QDir::cleanPath(root.absoluteFilePath());
    const QString parent = QDir(rootFolder).isRoot() ? QString() : QFileInfo(rootFolder).absolutePath();
    filter_->SetRoot(rootFolder, parent);
    if (!parent.isEmpty()) tree_->setRootIndex(filter_->mapFromSource(model_->index(parent)));
  }

  buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // The selection, not the current item: the tree makes its first row
  // current when it gets the focus, without selecting it, and that is no
  // choice of the user's.
  connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
  connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) { OnDirectoryLoaded(path); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(title_);
  layout->addWidget(status_);
  layout->addWidget(tree_, 1);
  layout->addWidget(buttons_);
  setSizeGripEnabled(true);
  resize(DialogUnits(font()).Size(200, 220));
  tree_->setFocus();
}

FolderBrowserDialog::~FolderBrowserDialog() = default;

void FolderBrowserDialog::SetSelection(const std::string& path) {
  const QString folder = QDir::cleanPath(FromNative(path));
  if (folder.isEmpty() || QDir::isRelativePath(folder)) return;
  const QModelIndex source = model_->index(folder);
  if (!source.isValid() || !model_->isDir(source)) return;
  const QModelIndex item = filter_->mapFromSource(source);
  if (!item.isValid()) return;  // outside the tree's root
  tree_->setCurrentIndex(item);
  keepSelectionInView_ = true;
  ScrollToSelection();
}

void FolderBrowserDialog::ScrollToSelection() {
  const QModelIndex selected = SelectedItem();
  if (!selected.isValid()) return;
  tree_->scrollTo(selected, QAbstractItemView::PositionAtCenter);
  // Scrolling to a deep item also scrolls sideways; keep the tree's left
  // edge, with the branches that lead to the item, in view instead.
  tree_->horizontalScrollBar()->setValue(0);
}

void FolderBrowserDialog::SetStatusText(const std::string& text) {
  status_->setText(QFile::decodeName(QByteArray(text.data(), qsizetype(text.size()))));
  status_->setCursorPosition(0);
}

bool FolderBrowserDialog::PathFromItem(const QModelIndex& item, std::string& path) const {
  if (!item.isValid() || item.model() != filter_) return false;
  const QString folder = model_->filePath(filter_->mapToSource(item));
  if (folder.isEmpty()) return false;
  path = ToNative(folder);
  return true;
}

QModelIndex FolderBrowserDialog::SelectedItem() const {
  const QModelIndexList selected = tree_->selectionModel()->selectedRows();
  return selected.isEmpty() ? QModelIndex() : selected.first();
}

void FolderBrowserDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (initialized_) return;
  initialized_ = true;
  callback_(this, BFFM_INITIALIZED, nullptr, data_);
}

bool FolderBrowserDialog::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
      keepSelectionInView_ = false;
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

void FolderBrowserDialog::OnSelectionChanged() {
  const QModelIndex selected = SelectedItem();
  std::string path;
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(PathFromItem(selected, path));
  if (selected.isValid()) callback_(this, BFFM_SELCHANGED, &selected, data_);
}

void FolderBrowserDialog::OnDirectoryLoaded(const QString&) {
  if (keepSelectionInView_) ScrollToSelection();
}
