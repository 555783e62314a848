#pragma once

#include <QString>

#include <cstdint>

// A batch's progress on the program's entry in a dock or task manager (KDE Plasma's task
// manager, Ubuntu's dock and others), told through the launcher API of Linux desktops: the
// com.canonical.Unity.LauncherEntry "Update" signal on the session bus, naming the program by its
// desktop entry. Without a session bus, or with no dock listening, it shows nothing and costs
// next to nothing.
class LauncherProgress {
  public:
    explicit LauncherProgress(const QString& desktopFileName);

    // done files of total are through; sent when the shown percentage changes.
    void show(std::int64_t done, std::int64_t total);
    // The batch is over: the entry shows no progress.
    void clear();

    static const QString interfaceName;

  private:
    void send(double progress, bool visible);

    QString appUri_;
    int shownPercent_ = -1;
};
