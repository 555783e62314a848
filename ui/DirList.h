#pragma once

#include <QTreeView>

class FolderModel;

// The directory list: the folder tree of the current drive, with the open folder highlighted.
// The arrow keys move the focus through the tree without opening anything; a folder is opened by
// a click on it, or by Return, Enter or a double click on the focused one. Expanding a folder
// shows the folders in it and does not open it.
class DirList : public QTreeView {
    Q_OBJECT
  public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Shows the tree below root (the drive) with path open; emits pathChanged when path is new.
    void setPath(const QString& root, const QString& path);
    QString root() const { return root_; }
    // Whether the tree follows changes in the folders it shows; stopped for a batch, which
    // fills the open folder with files, and started again after it, tree kept as it was.
    void setWatching(bool watching);

    FolderModel* folders() const { return model_; }

  signals:
    void pathChanged(const QString& path);

  protected:
    void showEvent(QShowEvent* event) override;
    // Clicks and keys move the focus only; the highlight stays on the open folder.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

  private:
    void open(const QModelIndex& index);
    void showPath();

    FolderModel* model_;
    QString root_;
    QString path_;
    bool revealPending_ = false;
};
