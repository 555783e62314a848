#pragma once

#include <QComboBox>
#include <QStringList>

#include <functional>

// The drive list of a system without drive letters: the root folders of the mounted volumes
// that hold user files (pseudo file systems such as /proc are left out). The list is read anew
// each time it is opened, so a card mounted meanwhile is there. A drive is taken only when it is
// chosen from the open list (with Return or a click): the arrow keys open the list rather than
// switch from drive to drive, and neither typing nor the mouse wheel switches drives.
class DriveList : public QComboBox {
    Q_OBJECT
  public:
    explicit DriveList(QWidget* parent = nullptr);

    // Replaces the listed volumes, keeping the current one where it is still listed.
    void setVolumes(const QStringList& rootPaths);
    QStringList volumes() const;

    QString drive() const { return currentText(); }
    // Makes current the volume that holds path (the one with the longest matching root).
    void setDriveHolding(const QString& path);

    // Reads the volumes anew from where the list reads them on opening.
    void readVolumes() { setVolumes(source_()); }

    static QStringList mountedVolumes();
    // Where the list is read from when it is opened: mountedVolumes unless told otherwise.
    void setVolumeSource(std::function<QStringList()> source) { source_ = std::move(source); }

    void showPopup() override;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  signals:
    // The list was read anew on opening; the current drive may have gone from it.
    void volumesRefreshed();

  private:
    std::function<QStringList()> source_ = mountedVolumes;
};
