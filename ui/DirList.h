#pragma once

#include <QTreeView>

class QFileSystemModel;

// The directory list: the folder tree of the current drive, with the current folder open.
// Selecting a folder, by mouse or keyboard, opens it.
class DirList : public QTreeView {
    Q_OBJECT
  public:
    explicit DirList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    // Shows the tree below root (the drive) with path open; emits pathChanged when path is new.
    void setPath(const QString& root, const QString& path);
    QString root() const { return root_; }
    // Whether the tree follows changes in the folders it shows; stopped for a batch, which
    // fills the open folder with files the tree does not show anyway.
    void setWatching(bool watching);

  protected:
    void showEvent(QShowEvent* event) override;

  signals:
    void pathChanged(const QString& path);

  private:
    void openCurrent(const QModelIndex& current);
    void showPath();
    void useNewModel();

    QFileSystemModel* model_ = nullptr;
    QString root_;
    QString path_;
    bool revealPending_ = false;
};
