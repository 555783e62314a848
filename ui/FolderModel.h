#pragma once

#include <QAbstractItemModel>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QSet>
#include <QTimer>

#include <memory>
#include <vector>

// The folders below one root folder, as a tree that the folder list shows. Only folders are ever
// read: a folder's entries are told apart by the type the directory listing gives, without asking
// the disk about each file, and every row has the same folder icon. A folder is read the first
// time its rows are wanted (it is expanded, or a path below it is shown), and read again when it
// changes; rows are inserted and removed one by one, so a view keeps its expanded folders,
// current row and scroll position. Hidden folders are left out, unless a path shown goes through
// them.
class FolderModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    explicit FolderModel(QObject* parent = nullptr);
    ~FolderModel() override;

    // Shows the folders below root, read afresh.
    void setRootPath(const QString& root);
    QString rootPath() const;

    // The row of a folder at or below the root, reading the folders on the way; invalid for the
    // root itself and for a folder that is not there.
    QModelIndex index(const QString& path);
    QString filePath(const QModelIndex& index) const;

    // Whether changes on disk are followed. While not, they are noted and the folders that
    // changed are read once watching starts again.
    void setWatching(bool watching);
    bool isWatching() const { return watching_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

  private:
    struct Node;

    Node* nodeOf(const QModelIndex& index) const;
    QModelIndex indexOf(const Node* node) const;
    QString pathOf(const Node* node) const;
    void read(Node* node);
    void readAgain(Node* node);
    void insertChild(Node* node, const QString& name);
    void forget(Node* node);
    Node* nodeAt(const QString& path) const;
    void readChangedFolders();

    std::unique_ptr<Node> root_;
    QIcon folderIcon_;
    QFileSystemWatcher watcher_;
    QSet<QString> changed_;
    QTimer readSoon_;
    bool watching_ = true;
};
