#pragma once

#include "runBatch.h"

#include <QListWidget>

#include <vector>

// The file list: the visible plain files of one folder whose names end in ".mpo" in any letter
// case, as bare names, with extended multiple selection (shift and control keys).
class FileList : public QListWidget {
    Q_OBJECT
  public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    void setPath(const QString& path);
    // Lists the folder anew, keeping selected the names that are still there.
    void refresh();

    // Every entry in list order with its selection flag, as a batch takes them.
    std::vector<twinframe::FileEntry> entries() const;

  private:
    QString path_;
};
