#include "DriveList.h"

#include <QKeyEvent>
#include <QSet>
#include <QSignalBlocker>
#include <QStorageInfo>

namespace {

bool holdsUserFiles(const QStorageInfo& volume) {
    static const QSet<QByteArray> pseudoTypes = {
        "proc",    "sysfs",       "devpts",          "devtmpfs", "cgroup",
        "cgroup2", "securityfs",  "debugfs",         "tracefs",  "pstore",
        "bpf",     "mqueue",      "hugetlbfs",       "configfs", "fusectl",
        "autofs",  "binfmt_misc", "efivarfs",        "nsfs",     "rpc_pipefs",
        "ramfs",   "squashfs",    "overlay_internal"};
    if (!volume.isValid() || !volume.isReady() || pseudoTypes.contains(volume.fileSystemType()))
        return false;
    const QString root = volume.rootPath();
    for (const QString system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"})
        if (root == system || root.startsWith(system + '/'))
            return root.startsWith("/run/media/"); // removable media mount here
    return true;
}

bool holds(const QString& root, const QString& path) {
    return root == "/" || path == root || path.startsWith(root + '/');
}

} // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {}

QStringList DriveList::mountedVolumes() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (holdsUserFiles(volume) && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    roots.sort();
    if (roots.isEmpty())
        roots.append("/"); // every folder is somewhere below it
    return roots;
}

void DriveList::setVolumes(const QStringList& rootPaths) {
    const QSignalBlocker quiet(this);
    const QString current = currentText();
    clear();
    addItems(rootPaths);
    const int index = findText(current);
    setCurrentIndex(index >= 0 ? index : 0);
}

QStringList DriveList::volumes() const {
    QStringList roots;
    for (int i = 0; i < count(); ++i)
        roots.append(itemText(i));
    return roots;
}

void DriveList::setDriveHolding(const QString& path) {
    int best = -1;
    for (int i = 0; i < count(); ++i)
        if (holds(itemText(i), path) && (best < 0 || itemText(i).size() > itemText(best).size()))
            best = i;
    if (best >= 0)
        setCurrentIndex(best);
}

void DriveList::showPopup() {
    readVolumes();
    emit volumesRefreshed();
    QComboBox::showPopup();
}

void DriveList::keyPressEvent(QKeyEvent* event) {
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (plain) {
            showPopup();
            return;
        }
        break;
    default:
        // A letter would jump to a drive named with it.
        if (!event->text().isEmpty() && event->text().front().isPrint() &&
            event->key() != Qt::Key_Space) {
            event->ignore();
            return;
        }
    }
    QComboBox::keyPressEvent(event);
}

void DriveList::wheelEvent(QWheelEvent* event) {
    event->ignore();
}
