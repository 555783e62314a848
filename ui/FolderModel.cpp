#include "FolderModel.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>

#include <algorithm>
#include <filesystem>

struct FolderModel::Node {
    QString name;
    Node* parent = nullptr;
    int row = 0; // in the parent's children
    bool read = false;
    // Until the node is read: whether its folder holds a visible folder, once asked (-1: not yet).
    mutable int holdsFolders = -1;
    bool pathShown = false; // a path was shown to it: it is to be opened, and read then
    std::vector<std::unique_ptr<Node>> children;
};

namespace {

std::filesystem::path nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool isHidden(const QString& name) {
    return name.startsWith('.');
}

// The order names are shown in: letter case ignored, numbers by their value ("IMG_2" before
// "IMG_10"), as file managers show them.
class NameOrder {
  public:
    NameOrder() {
        collator_.setCaseSensitivity(Qt::CaseInsensitive);
        collator_.setNumericMode(true);
    }
    bool operator()(const QString& a, const QString& b) const {
        const int order = collator_.compare(a, b);
        return order != 0 ? order < 0 : a < b; // "a" and "A" both, always in the same order
    }

  private:
    QCollator collator_;
};

// The visible folders in a folder, sorted; links to folders count as folders. The listing's own
// entry types are used, so the files among them cost no look-up of their own.
QStringList listFolders(const QString& path, bool* readable) {
    std::error_code error;
    std::filesystem::directory_iterator entries(nativePath(path), error);
    *readable = !error;
    QStringList names;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (!entries->is_directory(typeError))
            continue;
        const QString name = QFile::decodeName(entries->path().filename().c_str());
        if (!isHidden(name))
            names << name;
    }
    std::sort(names.begin(), names.end(), NameOrder());
    return names;
}

// Whether the folder holds a visible folder (or a link to one).
bool holdsAFolder(const QString& path) {
    std::error_code error;
    std::filesystem::directory_iterator entries(nativePath(path), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_directory(typeError) &&
            !isHidden(QFile::decodeName(entries->path().filename().c_str())))
            return true;
    }
    return false;
}

bool isFolder(const QString& path) {
    std::error_code error;
    return std::filesystem::is_directory(nativePath(path), error);
}

} // namespace

FolderModel::FolderModel(QObject* parent)
    : QAbstractItemModel(parent), root_(std::make_unique<Node>()),
      folderIcon_(QFileIconProvider().icon(QFileIconProvider::Folder)) {
    // A batch or a copy changes a folder many times in a row: read it again once a burst of
    // changes has begun, not once for each change.
    readSoon_.setSingleShot(true);
    readSoon_.setInterval(200);
    connect(&readSoon_, &QTimer::timeout, this, &FolderModel::readChangedFolders);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this](const QString& path) {
        changed_.insert(path);
        if (watching_ && !readSoon_.isActive())
            readSoon_.start();
    });
}

FolderModel::~FolderModel() = default;

void FolderModel::setRootPath(const QString& root) {
    beginResetModel();
    if (!watcher_.directories().isEmpty())
        watcher_.removePaths(watcher_.directories());
    changed_.clear();
    root_ = std::make_unique<Node>();
    root_->name = QDir::cleanPath(root);
    endResetModel();
}

QString FolderModel::rootPath() const {
    return root_->name;
}

void FolderModel::setWatching(bool watching) {
    watching_ = watching;
    if (watching && !changed_.isEmpty())
        readSoon_.start();
}

QString FolderModel::pathOf(const Node* node) const {
    if (node->parent == nullptr)
        return node->name;
    const QString above = pathOf(node->parent);
    return above.endsWith('/') ? above + node->name : above + '/' + node->name;
}

FolderModel::Node* FolderModel::nodeOf(const QModelIndex& index) const {
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : root_.get();
}

QModelIndex FolderModel::indexOf(const Node* node) const {
    if (node == root_.get())
        return {};
    return createIndex(node->row, 0, const_cast<Node*>(node));
}

QModelIndex FolderModel::index(int row, int column, const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (column != 0 || row < 0 || static_cast<std::size_t>(row) >= node->children.size())
        return {};
    return indexOf(node->children[static_cast<std::size_t>(row)].get());
}

QModelIndex FolderModel::parent(const QModelIndex& child) const {
    if (!child.isValid())
        return {};
    return indexOf(nodeOf(child)->parent);
}

int FolderModel::rowCount(const QModelIndex& parent) const {
    return static_cast<int>(nodeOf(parent)->children.size());
}

int FolderModel::columnCount(const QModelIndex&) const {
    return 1;
}

// A folder not read yet shows as one that can be expanded when it holds a folder, which is found
// by reading its entries up to the first visible folder, by the types the listing gives.
bool FolderModel::hasChildren(const QModelIndex& parent) const {
    const Node* node = nodeOf(parent);
    if (node->read)
        return !node->children.empty();
    if (node->pathShown)
        return true; // expanded as the open folder, which reads it and follows it from then on
    if (node->holdsFolders < 0)
        node->holdsFolders = holdsAFolder(pathOf(node)) ? 1 : 0;
    return node->holdsFolders == 1;
}

QVariant FolderModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return nodeOf(index)->name;
    if (role == Qt::DecorationRole)
        return folderIcon_;
    return {};
}

bool FolderModel::canFetchMore(const QModelIndex& parent) const {
    return !nodeOf(parent)->read;
}

void FolderModel::fetchMore(const QModelIndex& parent) {
    read(nodeOf(parent));
}

void FolderModel::read(Node* node) {
    if (node->read)
        return;
    node->read = true;
    readAgain(node);
}

// Brings the node's rows in line with its folder on disk: removes the rows of folders that are
// gone, then inserts the new ones where they belong. A hidden folder that a shown path went
// through stays while it is there.
void FolderModel::readAgain(Node* node) {
    const QString path = pathOf(node);
    for (const auto& child : node->children)
        child->holdsFolders = -1; // asked again when next shown
    bool readable = false;
    QStringList names = listFolders(path, &readable);
    for (const auto& child : node->children)
        if (isHidden(child->name) && isFolder(pathOf(child.get())))
            names << child->name;
    std::sort(names.begin(), names.end(), NameOrder());
    if (readable && !watcher_.directories().contains(path))
        watcher_.addPath(path);

    const QSet<QString> wanted(names.begin(), names.end());
    const QModelIndex parent = indexOf(node);
    for (int row = static_cast<int>(node->children.size()) - 1; row >= 0; --row) {
        const auto at = node->children.begin() + row;
        if (wanted.contains((*at)->name))
            continue;
        beginRemoveRows(parent, row, row);
        forget(at->get());
        node->children.erase(at);
        for (auto next = node->children.begin() + row; next != node->children.end(); ++next)
            --(*next)->row;
        endRemoveRows();
    }
    for (const QString& name : names)
        insertChild(node, name);
}

// Inserts a row for the folder name in node, in its place, unless it is there already.
void FolderModel::insertChild(Node* node, const QString& name) {
    auto& children = node->children;
    const auto at =
        std::lower_bound(children.begin(), children.end(), name,
                         [order = NameOrder()](const auto& child, const QString& wanted) {
                             return order(child->name, wanted);
                         });
    if (at != children.end() && (*at)->name == name)
        return;
    const int row = static_cast<int>(at - children.begin());
    beginInsertRows(indexOf(node), row, row);
    auto child = std::make_unique<Node>();
    child->name = name;
    child->parent = node;
    child->row = row;
    const auto inserted = children.insert(at, std::move(child));
    for (auto next = inserted + 1; next != children.end(); ++next)
        ++(*next)->row;
    endInsertRows();
}

// Stops following the folders of a node about to go.
void FolderModel::forget(Node* node) {
    for (const auto& child : node->children)
        forget(child.get());
    if (node->read)
        watcher_.removePath(pathOf(node));
}

QModelIndex FolderModel::index(const QString& path) {
    const QString wanted = QDir::cleanPath(path);
    const QString root = root_->name;
    if (root.isEmpty() || wanted == root)
        return {};
    const QString prefix = root.endsWith('/') ? root : root + '/';
    if (!wanted.startsWith(prefix))
        return {};
    Node* node = root_.get();
    for (const QString& name : wanted.mid(prefix.size()).split('/', Qt::SkipEmptyParts)) {
        read(node);
        const auto child = std::find_if(node->children.begin(), node->children.end(),
                                        [&name](const auto& c) { return c->name == name; });
        if (child != node->children.end()) {
            node = child->get();
            continue;
        }
        // A hidden folder, or one made since the node was read.
        const QString below = pathOf(node) + (node == root_.get() && root.endsWith('/') ? "" : "/");
        if (!isFolder(below + name))
            return {};
        insertChild(node, name);
        node = std::find_if(node->children.begin(), node->children.end(), [&name](const auto& c) {
                   return c->name == name;
               })->get();
    }
    node->pathShown = true;
    return indexOf(node);
}

QString FolderModel::filePath(const QModelIndex& index) const {
    return pathOf(nodeOf(index));
}

FolderModel::Node* FolderModel::nodeAt(const QString& path) const {
    const QString root = root_->name;
    if (path == root)
        return root_.get();
    const QString prefix = root.endsWith('/') ? root : root + '/';
    if (!path.startsWith(prefix))
        return nullptr;
    Node* node = root_.get();
    for (const QString& name : path.mid(prefix.size()).split('/', Qt::SkipEmptyParts)) {
        const auto child = std::find_if(node->children.begin(), node->children.end(),
                                        [&name](const auto& c) { return c->name == name; });
        if (child == node->children.end())
            return nullptr;
        node = child->get();
    }
    return node;
}

void FolderModel::readChangedFolders() {
    const QSet<QString> changed = std::exchange(changed_, {});
    for (const QString& path : changed)
        if (Node* node = nodeAt(path); node != nullptr && node->read)
            readAgain(node);
}
