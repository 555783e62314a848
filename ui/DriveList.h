#pragma once

#include <QComboBox>
#include <QStringList>

// The drive list of a system without drive letters: the root folders of the mounted volumes
// that hold user files (pseudo file systems such as /proc are left out).
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

    static QStringList mountedVolumes();
};
