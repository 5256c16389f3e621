#include "resources.h"

#include <QDir>
#include <QRegularExpression>

namespace velmoro::toolkit {

QIcon LoadIcon(int id) {
    QIcon icon;
    // Files are named icon<id>-<size>.png.
    const QDir dir(QStringLiteral(":/velmoro/icons"));
    const QString prefix = QStringLiteral("icon%1-").arg(id);
    for (const QString& name : dir.entryList({prefix + "*.png"}, QDir::Files)) {
        icon.addFile(dir.filePath(name));
    }
    return icon;
}

}  // namespace velmoro::toolkit
