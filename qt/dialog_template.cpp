#include "dialog_template.h"

#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace velmoro::toolkit {

namespace {

struct Resources {
    QHash<int, DialogTemplate> dialogs;
    QHash<int, QString> strings;
    QString homeAddress;
};

ControlKind KindFromName(const QString& name) {
    static const QHash<QString, ControlKind> kinds = {
        {"combobox", ControlKind::ComboBox}, {"radio", ControlKind::Radio},
        {"button", ControlKind::Button},     {"static", ControlKind::Static},
        {"icon", ControlKind::Icon},         {"edit", ControlKind::Edit},
        {"progress", ControlKind::Progress}, {"custom", ControlKind::Custom},
    };
    return kinds.value(name, ControlKind::Static);
}

QRect RectFromArray(const QJsonArray& values) {
    return QRect(values.at(0).toInt(), values.at(1).toInt(), values.at(2).toInt(),
                 values.at(3).toInt());
}

QStringList Strings(const QJsonArray& values) {
    QStringList list;
    for (const auto& value : values) {
        list << value.toString();
    }
    return list;
}

Resources Load() {
    Resources resources;
    QFile file(QStringLiteral(":/velmoro/dialogs.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return resources;
    }
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    for (const auto& dialogValue : root.value("dialogs").toArray()) {
        const QJsonObject object = dialogValue.toObject();
        DialogTemplate dialog;
        dialog.id = object.value("id").toInt();
        dialog.caption = object.value("caption").toString();
        const QJsonArray size = object.value("size").toArray();
        dialog.size = QSize(size.at(0).toInt(), size.at(1).toInt());
        dialog.styles = Strings(object.value("styles").toArray());
        dialog.fontPoints = object.value("fontPoints").toInt(9);
        for (const auto& controlValue : object.value("controls").toArray()) {
            const QJsonObject c = controlValue.toObject();
            ControlTemplate control;
            control.id = c.value("id").toInt(-1);
            control.kind = KindFromName(c.value("kind").toString());
            control.caption = c.value("caption").toString();
            control.rect = RectFromArray(c.value("rect").toArray());
            control.styles = Strings(c.value("styles").toArray());
            control.items = Strings(c.value("items").toArray());
            control.className = c.value("class").toString();
            control.icon = c.value("icon").toInt();
            dialog.controls.append(control);
        }
        resources.dialogs.insert(dialog.id, dialog);
    }
    const QJsonObject strings = root.value("strings").toObject();
    for (auto it = strings.begin(); it != strings.end(); ++it) {
        resources.strings.insert(it.key().toInt(), it.value().toString());
    }
    resources.homeAddress = root.value("homeAddress").toString();
    return resources;
}

const Resources& Loaded() {
    static const Resources resources = Load();
    return resources;
}

}  // namespace

const DialogTemplate& LoadDialogTemplate(int id) {
    static const DialogTemplate none;
    const auto it = Loaded().dialogs.constFind(id);
    return it == Loaded().dialogs.constEnd() ? none : *it;
}

QString LoadString(int id) {
    return Loaded().strings.value(id);
}

QString HomeAddress() {
    return Loaded().homeAddress;
}

}  // namespace velmoro::toolkit
