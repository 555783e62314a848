#include "FileList.h"

#include <QDir>
#include <QFile>
#include <QSet>

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
}

void FileList::setPath(const QString& path) {
    path_ = path;
    clear();
    refresh();
}

void FileList::refresh() {
    QSet<QString> selected;
    for (const QListWidgetItem* item : selectedItems())
        selected.insert(item->text());
    clear();
    // Without QDir::Hidden and QDir::System: no dot files, fifos, sockets or dangling links.
    const QStringList names =
        QDir(path_).entryList({"*.mpo"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, this);
        item->setSelected(selected.contains(name));
    }
}

std::vector<twinframe::FileEntry> FileList::entries() const {
    std::vector<twinframe::FileEntry> list;
    for (int row = 0; row < count(); ++row) {
        const QListWidgetItem* entry = item(row);
        list.push_back({QFile::encodeName(entry->text()).toStdString(), entry->isSelected()});
    }
    return list;
}
