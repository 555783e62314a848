#include "DirList.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QTimer>

DirList::DirList(QWidget* parent) : QTreeView(parent) {
    header()->hide();
    setIndentation(12);
    setUniformRowHeights(true);
    useNewModel();
}

void DirList::useNewModel() {
    QFileSystemModel* oldModel = model_;
    QItemSelectionModel* oldSelection = selectionModel(); // the view's, left to us to delete
    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    setModel(model_);
    delete oldSelection;
    delete oldModel;
    for (int column = 1; column < model_->columnCount(); ++column)
        hideColumn(column);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { openCurrent(current); });
    // Folders are read in the background and their rows arrive later: show the open folder
    // again as rows arrive, until the user picks a folder of their own.
    // (The model sorts what arrived a little later, which moves rows about again.)
    const auto revealAgain = [this] {
        if (revealPending_)
            showPath();
    };
    connect(model_, &QFileSystemModel::rowsInserted, this, revealAgain);
    connect(model_, &QFileSystemModel::layoutChanged, this, revealAgain);
}

// The model hears of every file a batch writes into the open folder and works through the
// whole folder for each, on the window's thread, although it shows folders only: it is kept
// deaf while a batch runs. Qt's model cannot be made to listen again, so a new one reads the
// tree afresh afterwards, opened where the old one was.
void DirList::setWatching(bool watching) {
    if (!watching) {
        model_->setOption(QFileSystemModel::DontWatchForChanges);
        return;
    }
    if (!model_->testOption(QFileSystemModel::DontWatchForChanges))
        return;
    const QSignalBlocker quiet(this);
    useNewModel();
    model_->setRootPath(root_);
    setRootIndex(model_->index(root_));
    revealPending_ = true;
    showPath();
}

void DirList::setPath(const QString& root, const QString& path) {
    const QString cleanPath = QDir::cleanPath(path);
    {
        const QSignalBlocker quiet(selectionModel());
        if (root != root_) {
            root_ = root;
            model_->setRootPath(root);
            setRootIndex(model_->index(root));
        }
    }
    const bool changed = cleanPath != path_;
    path_ = cleanPath;
    revealPending_ = true;
    showPath();
    if (changed)
        emit pathChanged(path_);
    // Called while a click on another folder is still being handled (that folder could not be
    // opened and this one is opened instead), the click would select its folder once we return:
    // show the open folder again after it.
    QTimer::singleShot(0, this, [this] { showPath(); });
}

void DirList::showPath() {
    const QSignalBlocker quiet(selectionModel());
    const QModelIndex index = model_->index(path_);
    if (!index.isValid() || path_ == root_) {
        clearSelection();
        setCurrentIndex({});
        return;
    }
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    expand(index);
    setCurrentIndex(index);
    executeDelayedItemsLayout(); // rows that just arrived are laid out only later otherwise
    scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void DirList::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    // Scrolling does nothing while the view has no size yet, so reveal again once it is shown.
    if (revealPending_)
        QTimer::singleShot(0, this, [this] { showPath(); });
}

void DirList::openCurrent(const QModelIndex& current) {
    if (!current.isValid())
        return;
    // The user's own pick is in view where they clicked it: open it there, without scrolling.
    revealPending_ = false;
    expand(current);
    const QString picked = model_->filePath(current);
    if (picked != path_) {
        path_ = picked;
        emit pathChanged(path_);
    }
}
