#include "LauncherProgress.h"

#include <QVariantMap>
#ifdef TWINFRAME_LAUNCHER_ENTRY
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include <algorithm>

const QString LauncherProgress::interfaceName = QStringLiteral("com.canonical.Unity.LauncherEntry");

namespace {

// Any path will do: the docks listen to the signal whatever object sends it.
const QString objectPath = QStringLiteral("/org/example/Twinframe/LauncherEntry");

} // namespace

LauncherProgress::LauncherProgress(const QString& desktopFileName)
    : appUri_(QStringLiteral("application://") + desktopFileName +
              (desktopFileName.endsWith(QStringLiteral(".desktop")) ? "" : ".desktop")) {}

void LauncherProgress::show(std::int64_t done, std::int64_t total) {
    if (total <= 0)
        return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
    if (percent == shownPercent_)
        return;
    shownPercent_ = percent;
    send(percent / 100.0, true);
}

void LauncherProgress::clear() {
    if (shownPercent_ < 0)
        return;
    shownPercent_ = -1;
    send(0.0, false);
}

void LauncherProgress::send(double progress, bool visible) {
#ifdef TWINFRAME_LAUNCHER_ENTRY
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(objectPath, interfaceName, "Update");
    update << appUri_ << QVariantMap{{"progress", progress}, {"progress-visible", visible}};
    bus.send(update);
#else
    Q_UNUSED(progress);
    Q_UNUSED(visible);
#endif
}
