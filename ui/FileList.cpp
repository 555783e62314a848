#include "FileList.h"

#include <QFile>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QSet>

namespace {

// The folder's ".mpo" files, with the whole name as each entry's tooltip.
class MpoFileModel : public QFileSystemModel {
  public:
    explicit MpoFileModel(QObject* parent) : QFileSystemModel(parent) {
        // Without QDir::Hidden and QDir::System: no dot files, fifos, sockets or dangling links.
        // Name filters match without regard to letter case unless told otherwise.
        setFilter(QDir::Files);
        setNameFilters({"*.mpo"});
        setNameFilterDisables(false);
        setReadOnly(true);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::ToolTipRole)
            return fileName(index);
        if (role == Qt::DecorationRole)
            return {}; // bare names, as in the rest of the window
        return QFileSystemModel::data(index, role);
    }
};

} // namespace

FileList::FileList(QWidget* parent) : QListView(parent), model_(new MpoFileModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    model_->sort(0, Qt::AscendingOrder);
    // Rows arrive in the background: a selection asked for before they are listed is made then.
    connect(model_, &QFileSystemModel::rowsInserted, this, &FileList::applyPendingSelection);
    connect(model_, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (loaded != path_)
            return;
        loaded_ = true;
        applyPendingSelection();
    });
}

void FileList::setPath(const QString& path) {
    if (path == path_)
        return;
    path_ = path;
    loaded_ = false;
    pendingSelection_.clear();
    clearSelection();
    setRootIndex(model_->setRootPath(path));
}

QStringList FileList::names() const {
    QStringList list;
    const QModelIndex root = rootIndex();
    for (int row = 0; row < model_->rowCount(root); ++row)
        list << model_->fileName(model_->index(row, 0, root));
    return list;
}

QStringList FileList::selectedNames() const {
    QStringList list;
    for (const twinframe::FileEntry& entry : entries())
        if (entry.selected)
            list << QFile::decodeName(entry.name.c_str());
    return list;
}

void FileList::selectNames(const QStringList& names) {
    pendingSelection_ = names;
    applyPendingSelection();
}

void FileList::applyPendingSelection() {
    if (pendingSelection_.isEmpty())
        return;
    const QStringList& wanted = pendingSelection_;
    const QModelIndex root = rootIndex();
    QItemSelection selection;
    QModelIndex first;
    for (int row = 0; row < model_->rowCount(root); ++row) {
        const QModelIndex index = model_->index(row, 0, root);
        if (wanted.contains(model_->fileName(index))) {
            selection.select(index, index);
            if (!first.isValid())
                first = index;
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first.isValid()) {
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        scrollTo(first);
    }
    // Once the folder is read every name that is there has been found; files that appear later
    // must not take the user's selection away.
    if (loaded_ || selection.size() == wanted.size())
        pendingSelection_.clear();
}

std::vector<twinframe::FileEntry> FileList::entries() const {
    std::vector<twinframe::FileEntry> list;
    const QModelIndex root = rootIndex();
    for (int row = 0; row < model_->rowCount(root); ++row) {
        const QModelIndex index = model_->index(row, 0, root);
        list.push_back({QFile::encodeName(model_->fileName(index)).toStdString(),
                        selectionModel()->isSelected(index)});
    }
    return list;
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit startRequested();
        return;
    }
    QListView::keyPressEvent(event);
}
