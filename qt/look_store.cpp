// The look kept in a settings file: $XDG_CONFIG_HOME/velmoro-downloader
// (~/.config/velmoro-downloader when it is not set), or the folder that
// VELMORO_SETTINGS_DIR names.

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include "look.h"

namespace velmoro::window {

namespace {

QString SettingsFolder() {
    QString named = qEnvironmentVariable(kSettingsFolderVariable);
    if (!named.isEmpty()) {
        return named;
    }
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : config + QStringLiteral("/velmoro-downloader");
}

}  // namespace

drawing::Look RememberedLook() {
    const QString folder = SettingsFolder();
    if (folder.isEmpty()) {
        return drawing::Look::kDay;
    }
    QFile file(QDir(folder).filePath(QString::fromLatin1(kSettingsFileName)));
    if (!file.open(QIODevice::ReadOnly)) {
        return drawing::Look::kDay;
    }
    return LookFromSettings(file.read(kSettingsMaxBytes).toStdString());
}

// A look that cannot be kept costs the user only the next start's look:
// nothing is said.
void RememberLook(drawing::Look look) {
    const QString folder = SettingsFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        return;
    }
    // Written aside and renamed, so that a program ending half way leaves
    // the old file whole.
    QSaveFile file(QDir(folder).filePath(QString::fromLatin1(kSettingsFileName)));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    const std::string text = LookSettings(look);
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.commit();
}

}  // namespace velmoro::window
