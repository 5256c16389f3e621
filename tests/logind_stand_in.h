#pragma once

// logind as far as a sleep inhibitor lock goes, on a private bus of the
// test's own that the programs take for the system bus: each Inhibit gets
// the write end of a pipe, whose read end shows when every holder has closed
// the lock.

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QDBusVirtualObject>
#include <QDir>
#include <QProcess>
#include <QStringList>
#include <vector>

#include "keep_awake.h"

namespace velmoro::testing {

class CLogindStandIn : public QDBusVirtualObject {
public:
    struct Lock {
        QStringList arguments;
        int readEnd = -1;
    };
    ~CLogindStandIn() override {
        for (const Lock& lock : locks) {
            ::close(lock.readEnd);
        }
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        int ends[2];
        if (message.member() != "Inhibit" || ::pipe(ends) != 0) {
            return false;
        }
        QStringList arguments;
        for (const QVariant& argument : message.arguments()) {
            arguments << argument.toString();
        }
        locks.push_back({arguments, ends[0]});
        connection.send(message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
        ::close(ends[1]);
        return true;
    }
    QString introspect(const QString& /*path*/) const override { return {}; }

    // What a program asks for while it writes the controller.
    static QStringList SleepLockArguments() {
        return {
            "sleep", "Velmoro Downloader",
            QString::fromLatin1(kKeepAwakeWhy.data(), static_cast<qsizetype>(kKeepAwakeWhy.size())),
            "block"};
    }
    static bool Released(const Lock& lock) {
        pollfd end{lock.readEnd, POLLIN, 0};
        return ::poll(&end, 1, 0) == 1 && (end.revents & POLLHUP) != 0;
    }

    std::vector<Lock> locks;
};

// A bus daemon of its own with the stand-in on it, named as the system bus
// in the environment (and so to the programs started meanwhile) for as long
// as it lives.
class CPrivateSystemBus {
public:
    CPrivateSystemBus() {
        daemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address",
                                      "--address=unix:tmpdir=" + QDir::tempPath()});
        if (!daemon_.waitForReadyRead(30000)) {
            return;
        }
        const QString address = QString::fromUtf8(daemon_.readLine()).trimmed();
        QDBusConnection bus = QDBusConnection::connectToBus(address, kName);
        ready_ = bus.isConnected() &&
                 bus.registerVirtualObject("/org/freedesktop/login1", &logind) &&
                 bus.registerService("org.freedesktop.login1");
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", address.toUtf8());
    }
    ~CPrivateSystemBus() {
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QDBusConnection::disconnectFromBus(kName);
        daemon_.kill();
        daemon_.waitForFinished();
    }
    CPrivateSystemBus(const CPrivateSystemBus&) = delete;
    CPrivateSystemBus& operator=(const CPrivateSystemBus&) = delete;

    bool Ready() const { return ready_; }

    CLogindStandIn logind;

private:
    static constexpr const char* kName = "logind-stand-in";
    QProcess daemon_;
    bool ready_ = false;
};

}  // namespace velmoro::testing
