#pragma once

#include "split/runBatch.h"

#include <QFileSystemWatcher>
#include <QListView>
#include <QStringList>
#include <QTimer>

#include <vector>

class MpoNameModel;

// The file list: the visible plain files of one folder whose names end in ".mpo" in any letter
// case, as bare names, with extended multiple selection (shift and control keys). It follows the
// folder: files that appear, vanish or are renamed show up by themselves, and the selection stays
// on the names that are still there. Each entry's tooltip is its whole name.
class FileList : public QListView {
    Q_OBJECT
  public:
    explicit FileList(QWidget* parent = nullptr);
    ~FileList() override;

    QString path() const { return path_; }
    void setPath(const QString& path);
    // Lists the folder anew, keeping selected the names that are still there.
    void refresh();

    // The listed names in list order, and the selected ones among them.
    QStringList names() const;
    QStringList selectedNames() const;
    // Selects exactly those of the names that are listed.
    void selectNames(const QStringList& names);

    // Every entry in list order with its selection flag, as a batch takes them.
    std::vector<twinframe::FileEntry> entries() const;

  signals:
    // Return or Enter pressed in the list.
    void startRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    MpoNameModel* model_;
    QString path_;
    QFileSystemWatcher watcher_;
    QTimer refreshSoon_;
};
