#include "FileList.h"

#include "mpoFiles.h"

#include <QAbstractListModel>
#include <QFile>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QStyleOptionFocusRect>

#include <filesystem>

// The listed names, changed row by row so that the view keeps its selection and scroll position
// when the folder changes.
class MpoNameModel : public QAbstractListModel {
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(names_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= names_.size())
            return {};
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return names_[index.row()];
        return {};
    }

    const QStringList& names() const { return names_; }

    // Both lists in the same order: removes the rows whose names are gone, then inserts the new
    // names where they belong.
    void update(const QStringList& names) {
        if (names == names_)
            return;
        if (names_.isEmpty() || names.isEmpty()) { // a folder opened or gone: no rows to keep
            beginResetModel();
            names_ = names;
            endResetModel();
            return;
        }
        const QSet<QString> wanted(names.begin(), names.end());
        for (int row = static_cast<int>(names_.size()) - 1; row >= 0; --row) {
            if (wanted.contains(names_[row]))
                continue;
            beginRemoveRows({}, row, row);
            names_.removeAt(row);
            endRemoveRows();
        }
        for (int row = 0; row < names.size(); ++row) {
            if (row < names_.size() && names_[row] == names[row])
                continue;
            beginInsertRows({}, row, row);
            names_.insert(row, names[row]);
            endInsertRows();
        }
    }

  private:
    QStringList names_;
};

namespace {

QStringList listMpoFiles(const QString& path) {
    QStringList names;
    for (const std::filesystem::path& name :
         twinframe::listMpoFiles(QFile::encodeName(path).toStdString()))
        names << QFile::decodeName(name.c_str());
    return names;
}

} // namespace

FileList::FileList(QWidget* parent) : QListView(parent), model_(new MpoNameModel(this)) {
    setModel(model_);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // A batch writes many files into the folder: list it again once a burst of changes has
    // begun, not once for each change.
    refreshSoon_.setSingleShot(true);
    refreshSoon_.setInterval(100);
    connect(&refreshSoon_, &QTimer::timeout, this, &FileList::refresh);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!refreshSoon_.isActive())
            refreshSoon_.start();
    });
}

FileList::~FileList() = default;

void FileList::setPath(const QString& path) {
    if (!path_.isEmpty())
        watcher_.removePath(path_);
    path_ = path;
    clearSelection();
    model_->update({});
    if (!path_.isEmpty())
        watcher_.addPath(path_);
    refresh();
}

void FileList::refresh() {
    model_->update(listMpoFiles(path_));
}

QStringList FileList::names() const {
    return model_->names();
}

QStringList FileList::selectedNames() const {
    QStringList list;
    for (const twinframe::FileEntry& entry : entries())
        if (entry.selected)
            list << QFile::decodeName(entry.name.c_str());
    return list;
}

void FileList::selectNames(const QStringList& names) {
    // One range for each run of neighbouring rows: a selection of many single rows is slow to
    // ask about.
    const QSet<QString> wanted(names.begin(), names.end());
    QItemSelection selection;
    QModelIndex first;
    for (int row = 0; row < model_->rowCount(); ++row) {
        if (!wanted.contains(model_->names()[row]))
            continue;
        int last = row;
        while (last + 1 < model_->rowCount() && wanted.contains(model_->names()[last + 1]))
            ++last;
        selection.select(model_->index(row), model_->index(last));
        if (!first.isValid())
            first = model_->index(row);
        row = last;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first.isValid()) {
        selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        scrollTo(first);
    }
}

std::vector<twinframe::FileEntry> FileList::entries() const {
    std::vector<bool> selected(static_cast<std::size_t>(model_->rowCount()));
    for (const QItemSelectionRange& range : selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            selected[static_cast<std::size_t>(row)] = true;
    std::vector<twinframe::FileEntry> list;
    for (int row = 0; row < model_->rowCount(); ++row)
        list.push_back({QFile::encodeName(model_->names()[row]).toStdString(),
                        selected[static_cast<std::size_t>(row)]});
    return list;
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit startRequested();
        return;
    }
    QListView::keyPressEvent(event);
}

// A list with no rows has no row to frame: the frame goes round the empty list, so that the
// focus can be seen on it (Return there starts a batch).
void FileList::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    if (!hasFocus() || model_->rowCount() > 0)
        return;
    QPainter painter(viewport());
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = viewport()->rect().adjusted(1, 1, -1, -1);
    frame.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
}
