#include "DirList.h"

#include "FolderModel.h"

#include <QDir>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

// Draws a frame around the focused folder while the tree has the focus, so that the user sees
// where the arrow keys have taken them, also on the open folder's highlight.
class FocusFrameDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (!(option.state & QStyle::State_HasFocus))
            return;
        const bool onHighlight = option.state & QStyle::State_Selected;
        const QColor colour = option.palette.color(
            QPalette::Active, onHighlight ? QPalette::HighlightedText : QPalette::Highlight);
        painter->save();
        painter->setPen(QPen(colour, 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
        painter->restore();
    }
};

} // namespace

DirList::DirList(QWidget* parent) : QTreeView(parent), model_(new FolderModel(this)) {
    header()->hide();
    setIndentation(12);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new FocusFrameDelegate(this));
    setModel(model_);
    connect(this, &QAbstractItemView::clicked, this, &DirList::open);
    connect(this, &QAbstractItemView::activated, this, &DirList::open);
}

// A batch writes files only, which the tree does not show: it need not hear of them, and what
// did change meanwhile is read once the batch is over, rows kept where they are.
void DirList::setWatching(bool watching) {
    model_->setWatching(watching);
}

void DirList::setPath(const QString& root, const QString& path) {
    if (root != root_) {
        root_ = root;
        model_->setRootPath(root);
    }
    const QString cleanPath = QDir::cleanPath(path);
    const bool changed = cleanPath != path_;
    path_ = cleanPath;
    revealPending_ = true;
    showPath();
    if (changed)
        emit pathChanged(path_);
    // Called while a click on another folder is still being handled (that folder could not be
    // opened and this one is opened instead): show the open folder again after it.
    QTimer::singleShot(0, this, [this] { showPath(); });
}

void DirList::showPath() {
    const QModelIndex index = model_->index(path_);
    if (!index.isValid()) {
        selectionModel()->clear();
        return;
    }
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    expand(index);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    if (!isVisible())
        return;
    revealPending_ = false;
    executeDelayedItemsLayout(); // rows that just arrived are laid out only later otherwise
    scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void DirList::showEvent(QShowEvent* event) {
    QTreeView::showEvent(event);
    // Scrolling does nothing while the view has no size yet, so reveal once it is shown.
    if (revealPending_)
        QTimer::singleShot(0, this, [this] { showPath(); });
}

QItemSelectionModel::SelectionFlags DirList::selectionCommand(const QModelIndex&,
                                                              const QEvent*) const {
    return QItemSelectionModel::NoUpdate;
}

void DirList::open(const QModelIndex& index) {
    if (!index.isValid())
        return;
    // The user's own pick is in view where they clicked it: open it there, without scrolling.
    revealPending_ = false;
    expand(index);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    const QString picked = model_->filePath(index);
    if (picked != path_) {
        path_ = picked;
        emit pathChanged(path_);
    }
}
