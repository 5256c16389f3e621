#pragma once

// Dialog templates as data: each control row with its id, kind, caption,
// rectangle in dialog units and the styles that matter. The templates and
// the string table live in the program's resources (dialogs.json).

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace velmoro::toolkit {

enum class ControlKind { ComboBox, Radio, Button, Static, Icon, Edit, Progress, Custom };

struct ControlTemplate {
    int id = -1;  // -1: a static control without an id
    ControlKind kind = ControlKind::Static;
    QString caption;
    QRect rect;  // dialog units
    QStringList styles;
    QStringList items;  // initial list of a combo box
    QString className;  // custom controls
    int icon = 0;       // icon controls: the icon resource

    bool Has(const char* style) const { return styles.contains(QLatin1String(style)); }
};

struct DialogTemplate {
    int id = 0;
    QString caption;
    QSize size;          // client area, dialog units
    QStringList styles;  // of the window: "minimizebox"
    int fontPoints = 9;
    QList<ControlTemplate> controls;  // in tab order

    bool Has(const char* style) const { return styles.contains(QLatin1String(style)); }
};

// The template with this id; an empty one (id 0) when there is none.
const DialogTemplate& LoadDialogTemplate(int id);
// A string of the string table; empty when there is none.
QString LoadString(int id);
// The maker's web address, opened by the Home button.
QString HomeAddress();

}  // namespace velmoro::toolkit
