#pragma once

// A dialog built from a template: its controls are made from the rows, laid
// out in dialog units of its 9-point font, in tab order, reachable by id. It
// keeps the dialog framework's shape: OnInitDialog after the controls exist,
// OnOK and OnCancel for the two ending commands, timers by id, and a system
// menu command handler.

#include <QDialog>
#include <QHash>
#include <QIcon>

#include "dialog_template.h"

class QAction;
class QMenu;

namespace velmoro::toolkit {

// Message box results, as the dialog commands they stand for.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// Dialog units into pixels for a font: x by a quarter of the font's average
// character width, y by an eighth of its height, each rounded.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);
    QRect ToPixels(const QRect& dialogUnits) const;
    QSize ToPixels(const QSize& dialogUnits) const;
    int BaseX() const { return baseX_; }
    int BaseY() const { return baseY_; }

private:
    int baseX_;
    int baseY_;
};

class CDialog : public QDialog {
    Q_OBJECT

public:
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    // Makes the controls and runs OnInitDialog; DoModal does it first when
    // it has not been done.
    void Create();
    int DoModal();
    void EndDialog(int result) { done(result); }

    QWidget* GetDlgItem(int id) const { return items_.value(id); }
    template <class T>
    T* Item(int id) const {
        return dynamic_cast<T*>(GetDlgItem(id));
    }
    const DialogTemplate& Template() const { return template_; }
    const CDialogUnits& Units() const { return units_; }

    void SetTimer(int id, int periodMs);
    void KillTimer(int id);
    bool HasTimer(int id) const { return timers_.contains(id); }

    // The system menu command (or its stand-in's), masked by the caller.
    virtual void OnSysCommand(unsigned id, long param);
    // The stand-in for the system menu where the window manager owns the
    // real one; empty on Windows.
    QMenu* SystemMenuStandIn() const { return systemMenu_; }
    // Adds a separator and an item to the end of the system menu; the item
    // is returned, to be checked or greyed.
    QAction* AppendSystemMenuItem(unsigned id, const QString& text, bool separatorBefore = true);

protected:
    virtual bool OnInitDialog() { return true; }
    virtual void DoDataExchange() {}
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    virtual void OnTimer(int /*id*/) {}
    // A dialog that draws a control with a class of its own makes its widget
    // here, for the row's id; nullptr leaves the row to the toolkit. The
    // widget takes the row's place: its id, rectangle, caption and styles.
    virtual QWidget* CreateControl(const ControlTemplate& /*row*/) { return nullptr; }

    // Escape, the close box, Alt+F4 and the Close command all come here.
    void reject() override { OnCancel(); }
    void accept() override { OnOK(); }
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void MakeControls();
    void ShowSystemMenu(const QPoint& where);

    const DialogTemplate& template_;
    CDialogUnits units_;
    QHash<int, QWidget*> items_;
    QHash<int, int> timers_;  // dialog timer id -> Qt timer id
    QMenu* systemMenu_ = nullptr;
    bool created_ = false;
    bool centred_ = false;
};

}  // namespace velmoro::toolkit
