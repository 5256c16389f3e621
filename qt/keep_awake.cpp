#include "keep_awake.h"

#ifdef VELMORO_HAVE_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#endif
#include <QObject>
#include <QString>

namespace velmoro {

// On Linux, logind's sleep inhibitor lock: a file descriptor that logind
// hands out and honours until it is closed. Asked for without waiting on
// the user-interface thread; a reply that comes once the hold has ended
// is closed at once. A system without logind (a container, a desktop
// without systemd) is simply not held.
struct CKeepAwake::Backend {
#ifdef VELMORO_HAVE_DBUS
    QString connection;
    QDBusUnixFileDescriptor lock;
#endif
    int connections = 0;
    // Owns the pending questions: none outlives the object.
    QObject context;
};

CKeepAwake::CKeepAwake(IKeepAwakeTimer& timer, std::chrono::milliseconds silence)
    : backend_(std::make_unique<Backend>()), timer_(timer), silence_(silence) {}

CKeepAwake::~CKeepAwake() {
    Follow(false);
}

void CKeepAwake::Hold() {
#ifdef VELMORO_HAVE_DBUS
    // A connection of its own for each hold, to the system bus that the
    // environment names at that moment (the D-Bus library reads it once).
    backend_->connection = QStringLiteral("velmoro-keep-awake-%1").arg(++backend_->connections);
    const QDBusConnection bus = QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS",
                             QStringLiteral("unix:path=/run/dbus/system_bus_socket")),
        backend_->connection);
    if (!bus.isConnected()) {
        return;
    }
    QDBusMessage inhibit = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep")
            << QString::fromLatin1(kKeepAwakeWho.data(),
                                   static_cast<qsizetype>(kKeepAwakeWho.size()))
            << QString::fromLatin1(kKeepAwakeWhy.data(),
                                   static_cast<qsizetype>(kKeepAwakeWhy.size()))
            << QStringLiteral("block");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibit), &backend_->context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &backend_->context,
                     [this, watcher] {
                         const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
                         if (held_ && reply.isValid()) {
                             backend_->lock = reply.value();
                         }
                         watcher->deleteLater();
                     });
#endif
}

void CKeepAwake::Release() {
#ifdef VELMORO_HAVE_DBUS
    backend_->lock = QDBusUnixFileDescriptor();
    qDeleteAll(backend_->context.findChildren<QDBusPendingCallWatcher*>());
    QDBusConnection::disconnectFromBus(backend_->connection);
#endif
}

}  // namespace velmoro
