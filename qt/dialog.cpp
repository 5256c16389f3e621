#include "dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimerEvent>

#include "resources.h"
#include "system_drawing.h"

namespace velmoro::toolkit {

namespace {

// System menu commands the stand-in offers besides the dialog's own.
constexpr unsigned kScMinimize = 0xF020;
constexpr unsigned kScClose = 0xF060;

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

QFont DialogFont(int points) {
    QFont font = QApplication::font();
    font.setPointSize(points);
    return font;
}

// The border a template row asks for, around a control of the dialog's own
// class. As the platform's window border, it lies outside the control's
// client area: the control has it as its contents margins, paints only the
// contents rectangle and never the border, which is drawn here just before
// the control paints. It looks as the frames of the dialog's edit boxes do.
class CControlBorder : public QObject {
public:
    explicit CControlBorder(QWidget* control) : QObject(control) {
        const int width =
            control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
        control->setContentsMargins(width, width, width, width);
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            auto* control = static_cast<QWidget*>(watched);
            QPainter painter(control);
            // The ring between the edge and the client area, in the dialog's
            // colour wherever the frame leaves it.
            const QRegion ring = QRegion(control->rect()) - control->contentsRect();
            painter.setClipRegion(ring, Qt::IntersectClip);
            painter.fillRect(control->rect(), control->palette().color(QPalette::Window));
            QStyleOptionFrame frame;
            frame.initFrom(control);
            frame.frameShape = QFrame::StyledPanel;
            frame.state |= QStyle::State_Sunken;
            frame.lineWidth = 1;
            control->style()->drawControl(QStyle::CE_ShapedFrame, &frame, &painter, control);
        }
        return false;
    }
};

}  // namespace

CDialogUnits::CDialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width of the Latin letters, rounded, and the full height.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

QRect CDialogUnits::ToPixels(const QRect& r) const {
    return QRect(MulDivRound(r.x(), baseX_, 4), MulDivRound(r.y(), baseY_, 8),
                 MulDivRound(r.width(), baseX_, 4), MulDivRound(r.height(), baseY_, 8));
}

QSize CDialogUnits::ToPixels(const QSize& s) const {
    return QSize(MulDivRound(s.width(), baseX_, 4), MulDivRound(s.height(), baseY_, 8));
}

CDialog::CDialog(int templateId, QWidget* parent)
    : QDialog(parent),
      template_(LoadDialogTemplate(templateId)),
      units_(DialogFont(template_.fontPoints)) {
    setFont(DialogFont(template_.fontPoints));
    setWindowTitle(template_.caption);
    const bool minimizeBox = template_.Has("minimizebox");
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (minimizeBox) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    setWindowFlags(flags);
    setFixedSize(units_.ToPixels(template_.size));
    // Where the window manager owns the system menu, the dialog offers its
    // own: a context menu, Alt+Space as on Windows, and the keys that open a
    // context menu (the menu key, Shift+F10) for desktops that keep
    // Alt+Space for their own window menu. Like the real one, it offers
    // Minimize only to a window with a minimise box.
    systemMenu_ = new QMenu(this);
    if (minimizeBox) {
        systemMenu_->addAction(tr("Mi&nimize"), this, [this] { OnSysCommand(kScMinimize, 0); });
    }
    systemMenu_->addAction(tr("&Close"), this, [this] { OnSysCommand(kScClose, 0); });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& where) { ShowSystemMenu(mapToGlobal(where)); });
    for (const QKeySequence& keys :
         {QKeySequence(Qt::ALT | Qt::Key_Space), QKeySequence(Qt::Key_Menu),
          QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this,
                [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
    }
}

CDialog::~CDialog() = default;

void CDialog::Create() {
    if (created_) {
        return;
    }
    created_ = true;
    MakeControls();
    DoDataExchange();
    OnInitDialog();
}

int CDialog::DoModal() {
    Create();
    return exec();
}

void CDialog::MakeControls() {
    QWidget* previousTabStop = nullptr;
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& row : template_.controls) {
        QWidget* widget = CreateControl(row);
        if (widget != nullptr) {
            widget->setParent(this);
            if (auto* button = dynamic_cast<QAbstractButton*>(widget)) {
                button->setText(row.caption);
            }
            if (auto* push = dynamic_cast<QPushButton*>(widget)) {
                push->setDefault(row.Has("default"));
            }
            if (row.Has("border")) {
                new CControlBorder(widget);
            }
        }
        switch (widget != nullptr ? ControlKind::Custom : row.kind) {
            case ControlKind::ComboBox: {
                auto* combo = new QComboBox(this);
                combo->setEditable(!row.Has("dropdownlist"));
                combo->setInsertPolicy(QComboBox::NoInsert);
                QStringList items = row.items;
                if (row.Has("sort")) {
                    items.sort(Qt::CaseInsensitive);
                }
                combo->addItems(items);
                combo->setCurrentIndex(-1);
                widget = combo;
                break;
            }
            case ControlKind::Radio: {
                auto* radio = new QRadioButton(row.caption, this);
                if (row.Has("group") || radioGroup == nullptr) {
                    radioGroup = new QButtonGroup(this);
                }
                radioGroup->addButton(radio);
                widget = radio;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(row.caption, this);
                button->setDefault(row.Has("default"));
                widget = button;
                break;
            }
            case ControlKind::Static: {
                auto* label = new QLabel(this);
                label->setTextFormat(Qt::PlainText);
                label->setText(row.caption);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                widget = label;
                break;
            }
            case ControlKind::Icon: {
                auto* label = new QLabel(this);
                const QSize size = units_.ToPixels(row.rect).size();
                label->setPixmap(PictureForLook(
                    LoadIcon(row.icon).pixmap(std::min(size.width(), size.height()))));
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                widget = label;
                break;
            }
            case ControlKind::Edit:
                if (row.Has("multiline")) {
                    auto* edit = new QPlainTextEdit(this);
                    edit->setReadOnly(row.Has("readonly"));
                    // As the system's edit box: a multi-line box that does not
                    // scroll sideways wraps its lines at its width.
                    edit->setLineWrapMode(row.Has("autohscroll") ? QPlainTextEdit::NoWrap
                                                                 : QPlainTextEdit::WidgetWidth);
                    edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                    edit->setUndoRedoEnabled(false);
                    widget = edit;
                } else {
                    auto* edit = new QLineEdit(this);
                    edit->setReadOnly(row.Has("readonly"));
                    widget = edit;
                }
                break;
            case ControlKind::Progress: {
                auto* bar = new QProgressBar(this);
                bar->setRange(0, 100);
                bar->setValue(0);
                bar->setTextVisible(false);
                widget = bar;
                break;
            }
            case ControlKind::Custom:
                if (widget == nullptr) {
                    // A control with no face at run time.
                    widget = new QWidget(this);
                    widget->setObjectName(row.className);
                    widget->hide();
                }
                break;
        }
        const QRect pixels = units_.ToPixels(row.rect);
        if (row.kind == ControlKind::ComboBox) {
            // The template's height is the height with the list dropped down.
            widget->setGeometry(pixels.x(), pixels.y(), pixels.width(),
                                widget->sizeHint().height());
        } else {
            widget->setGeometry(pixels);
        }
        if (row.Has("hidden")) {
            widget->hide();
        }
        const bool tabStop = row.Has("tabstop") && !row.Has("hidden");
        if (tabStop) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop != nullptr) {
                QWidget::setTabOrder(previousTabStop, widget);
            }
            previousTabStop = widget;
        } else if (row.kind == ControlKind::Edit) {
            // Read-only boxes take the mouse for selecting and copying, not
            // the Tab key.
            widget->setFocusPolicy(Qt::ClickFocus);
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        if (row.id >= 0) {
            widget->setProperty("controlId", row.id);
            items_.insert(row.id, widget);
        }
    }
}

void CDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Escape:
            OnCancel();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // A focused push button takes Enter itself; anywhere else Enter
            // is the default button's command.
            if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
                OnOK();
                return;
            }
            break;
        default:
            break;
    }
    QDialog::keyPressEvent(event);
}

void CDialog::SetTimer(int id, int periodMs) {
    KillTimer(id);
    timers_.insert(id, startTimer(periodMs));
}

void CDialog::KillTimer(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end()) {
        killTimer(it.value());
        timers_.erase(it);
    }
}

void CDialog::timerEvent(QTimerEvent* event) {
    for (auto it = timers_.cbegin(); it != timers_.cend(); ++it) {
        if (it.value() == event->timerId()) {
            OnTimer(it.key());
            return;
        }
    }
    QDialog::timerEvent(event);
}

void CDialog::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
        const QRect area = owner != nullptr
                               ? owner->frameGeometry()
                               : (screen() != nullptr ? screen()->availableGeometry() : QRect());
        if (area.isValid()) {
            move(area.center() - rect().center());
        }
    }
    QDialog::showEvent(event);
}

void CDialog::OnSysCommand(unsigned id, long /*param*/) {
    switch (id & 0xFFF0U) {
        case kScMinimize:
            showMinimized();
            break;
        case kScClose:
            OnCancel();
            break;
        default:
            break;
    }
}

QAction* CDialog::AppendSystemMenuItem(unsigned id, const QString& text, bool separatorBefore) {
    if (separatorBefore) {
        systemMenu_->addSeparator();
    }
    QAction* action = systemMenu_->addAction(text);
    connect(action, &QAction::triggered, this, [this, id] { OnSysCommand(id, 0); });
    return action;
}

void CDialog::ShowSystemMenu(const QPoint& where) {
    // The menu key also comes as a context-menu request on some platforms,
    // after the shortcut has already opened the menu: it stays where it is.
    if (systemMenu_ != nullptr && !systemMenu_->isVisible()) {
        systemMenu_->popup(where);
    }
}

}  // namespace velmoro::toolkit
