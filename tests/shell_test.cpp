// The main window and the About box under the offscreen platform: their
// layout, handlers and the quit question, whole transfers through the
// window against the simulated controller, the shared window scenarios, and
// the sleep inhibitor lock that both programs hold during a transfer.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <termios.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <utility>

#include "about_dialog.h"
#include "downloader_app.h"
#include "downloader_dialog.h"
#include "hover_button.h"
#include "icon_button.h"
#include "look.h"
#ifdef VELMORO_HAVE_DBUS
#include "logind_stand_in.h"
#endif
#include "percent_progress_ctrl.h"
#include "platform.h"
#include "sim_process.h"
#include "system_drawing.h"
#include "temp_file.h"
#include "transfer_report.h"
#include "window_scenarios.h"
#include "window_text.h"

// A Linux pseudo-terminal reads back as 8 data bits without parity whatever
// the host asks, so the simulator cannot check those two. The window's
// requests are caught here on their way to the system.
namespace {
std::vector<tcflag_t> requestedControlModes;
}
#ifdef __linux__
extern "C" int tcsetattr(int fd, int action, const termios* modes) noexcept {
    using Real = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    requestedControlModes.push_back(modes->c_cflag);
    return real(fd, action, modes);
}
#endif

namespace velmoro::testing {
namespace {

using toolkit::IDNO;
using toolkit::IDYES;
using toolkit::MessageRequest;

class WindowTest : public ::testing::Test {
protected:
    explicit WindowTest(std::chrono::milliseconds keepAwakeSilence = kKeepAwakeSilence)
        : dialog(nullptr, keepAwakeSilence) {
        updateType = UpdateType::MainProgram;
        toolkit::SetMessageBoxHook([this](const MessageRequest& request) {
            questions.push_back(request);
            return answer;
        });
        toolkit::SetShellOpenHook([this](const QString& target) { opened.push_back(target); });
        dialog.Create();
        dialog.show();
    }
    ~WindowTest() override {
        toolkit::SetLook(drawing::Look::kDay);
        toolkit::SetMessageBoxHook({});
        toolkit::SetShellOpenHook({});
        toolkit::SetFileOpenHook({});
        qunsetenv("VELMORO_COM1");
        qunsetenv("VELMORO_COM2");
    }

    template <class T>
    T* Item(int id) {
        return dialog.Item<T>(id);
    }
    void ChooseFile(const fs::path& path) {
        toolkit::SetFileOpenHook([path] { return QString::fromStdString(path.string()); });
        QTest::mouseClick(dialog.openButton, Qt::LeftButton);
    }
    bool WaitForLog(const std::string& text, int ms = kWaitMs) {
        return QTest::qWaitFor(
            [&] { return dialog.LogText().toStdString().find(text) != std::string::npos; }, ms);
    }

    CDownloaderDlg dialog;
    std::vector<MessageRequest> questions;
    std::vector<QString> opened;
    int answer = IDNO;
};

TEST_F(WindowTest, StartsIdleOnCom1AndMainProgram) {
    auto* ports = Item<QComboBox>(ids::IDC_PORT_LIST);
    EXPECT_EQ(ports->currentText(), "COM1");
    EXPECT_EQ(ports->count(), 9);
    EXPECT_EQ(dialog.portNumber, 1);
    EXPECT_TRUE(Item<QRadioButton>(ids::IDC_MAIN_PROGRAM)->isChecked());
    EXPECT_FALSE(Item<QRadioButton>(ids::IDC_OBJECT_CATALOG)->isChecked());
    EXPECT_EQ(updateType, UpdateType::MainProgram);
    EXPECT_TRUE(Item<QLineEdit>(ids::IDC_FILE_PATH)->text().isEmpty());
    EXPECT_TRUE(dialog.LogText().isEmpty());
    EXPECT_TRUE(dialog.openButton->isEnabled());
    EXPECT_EQ(dialog.startStopButton->text(), "Start Download(&D)");
    EXPECT_EQ(dialog.focusWidget(), ports);
    EXPECT_EQ(dialog.windowTitle(), "Velmoro Downloader V2.0");
    EXPECT_FALSE(dialog.QWidget::windowIcon().isNull());
    EXPECT_FALSE(dialog.HasTimer(CDownloaderDlg::kBeaconTimer));
}

TEST_F(WindowTest, SelfDrawnControlsTakeTheirPlaces) {
    EXPECT_EQ(dialog.GetDlgItem(ids::IDC_PROGRESS), dialog.progressBar);
    EXPECT_NE(dynamic_cast<CHoverButton*>(dialog.GetDlgItem(ids::IDC_OPEN)), nullptr);
    EXPECT_NE(dynamic_cast<CHoverButton*>(dialog.GetDlgItem(ids::IDC_START_STOP)), nullptr);
    for (CIconButton* button : {dialog.helpButton, dialog.homeButton}) {
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->HasIcon(0));
        EXPECT_FALSE(button->HasIcon(1));
        EXPECT_FALSE(button->IsFlatLook()) << "the three-dimensional look";
    }
    EXPECT_EQ(dialog.helpButton->text(), "Help(&H)");
    EXPECT_EQ(dialog.openButton->text(), "Open Data File(&O)");
    // The bar shows its percentage; the layout's "Progress1" never shows.
    EXPECT_EQ(dialog.progressBar->Bar().TextToDraw(), "0%");
    EXPECT_TRUE(toolkit::GetWindowText(dialog.progressBar).empty());
    // Its row asks for a border: drawn around the client area, where the
    // empty bar shows the window colour.
    const QRect client = dialog.progressBar->contentsRect();
    EXPECT_GT(client.left(), 0);
    EXPECT_EQ(client.center(), dialog.progressBar->rect().center());
    const QImage bar = dialog.progressBar->grab().toImage();
    const QRgb window = toolkit::GetSysColor(drawing::SysColor::kWindow).rgb();
    const QRgb face = dialog.palette().color(QPalette::Window).rgb();
    for (const QPoint edge : {QPoint(0, client.center().y()), QPoint(client.center().x(), 0)}) {
        EXPECT_NE(bar.pixel(edge), window);
        EXPECT_NE(bar.pixel(edge), face);
    }
    EXPECT_EQ(bar.pixel(client.topLeft()), window);

    CAboutDlg about(&dialog);
    about.Create();
    EXPECT_NE(about.okButton, nullptr);
    EXPECT_EQ(about.okButton->text(), "OK");
    EXPECT_TRUE(about.okButton->isDefault());
}

TEST_F(WindowTest, PortListAndRadioButtonsSetTheirValues) {
    auto* ports = Item<QComboBox>(ids::IDC_PORT_LIST);
    ports->setCurrentIndex(8);
    EXPECT_EQ(dialog.portNumber, 9);
    ports->setCurrentIndex(0);
    EXPECT_EQ(dialog.portNumber, 1);
    // Only a choice from the list counts: text typed into the box, Enter and
    // leaving the box neither change the port nor show another one.
    ports->setFocus();
    QTest::keyClick(ports, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(ports, "COM5");
    QTest::keyClick(ports, Qt::Key_Return);
    QTest::keyClick(ports, Qt::Key_Tab);
    EXPECT_FALSE(ports->hasFocus());
    EXPECT_EQ(dialog.portNumber, 1);
    EXPECT_EQ(ports->currentText(), "COM1");

    auto* mainProgram = Item<QRadioButton>(ids::IDC_MAIN_PROGRAM);
    auto* catalog = Item<QRadioButton>(ids::IDC_OBJECT_CATALOG);
    QTest::mouseClick(catalog, Qt::LeftButton);
    EXPECT_TRUE(catalog->isChecked());
    EXPECT_FALSE(mainProgram->isChecked());
    EXPECT_EQ(updateType, UpdateType::ObjectCatalog);
    QTest::mouseClick(mainProgram, Qt::LeftButton);
    EXPECT_TRUE(mainProgram->isChecked());
    EXPECT_FALSE(catalog->isChecked());
    EXPECT_EQ(updateType, UpdateType::MainProgram);
}

// The file dialog gives paths with '/'; the window shows the platform's own.
TEST_F(WindowTest, FileDialogSetsThePathOnlyWhenConfirmed) {
#ifdef Q_OS_WIN
    const QString path = "C:\\data\\does-not-exist.bin";
    ChooseFile("C:/data/does-not-exist.bin");
#else
    const QString path = "/data/does-not-exist.bin";
    ChooseFile("/data/does-not-exist.bin");
#endif
    EXPECT_EQ(dialog.dataFilePath, path);
    EXPECT_EQ(Item<QLineEdit>(ids::IDC_FILE_PATH)->text(), path);
    toolkit::SetFileOpenHook([] { return std::nullopt; });
    QTest::mouseClick(dialog.openButton, Qt::LeftButton);
    EXPECT_EQ(dialog.dataFilePath, path);
    EXPECT_EQ(Item<QLineEdit>(ids::IDC_FILE_PATH)->text(), path);
}

// Escape is one of the window scenarios; the other ways of closing ask the
// same question.
TEST_F(WindowTest, EveryWayOfClosingAsksFirst) {
    answer = IDNO;
    dialog.close();                  // the close box and Alt+F4
    dialog.OnSysCommand(0xF060, 0);  // the system menu's Close
    ASSERT_EQ(questions.size(), 2U);
    EXPECT_EQ(questions[1].text, "Are you sure you want to quit Velmoro Downloader V2.0?");
    EXPECT_TRUE(dialog.isVisible());
    answer = IDYES;
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), toolkit::IDCANCEL);
}

// Quitting while a transfer runs stops it first, so that it still ends and
// leaves its report.
TEST_F(WindowTest, QuittingDuringATransferKeepsItsReport) {
    const fs::path folder = fs::path(qEnvironmentVariable("VELMORO_REPORTS_DIR").toStdString());
    const std::size_t before = KeptReports(folder).size();
    TempFile image(std::string(3000, 'x'));
    Sim sim({"--beacons", "1000000"}, true);
    ASSERT_TRUE(sim.Listening());
    qputenv("VELMORO_COM1", QByteArray::fromStdString(sim.Link()));
    ChooseFile(image.Path());
    QTest::mouseClick(Item<QPushButton>(ids::IDC_START_STOP), Qt::LeftButton);
    ASSERT_TRUE(dialog.Engine().State().busy) << dialog.LogText().toStdString();
    answer = IDYES;
    dialog.close();
    EXPECT_FALSE(dialog.Engine().State().busy);
    const std::vector<fs::path> kept = KeptReports(folder);
    ASSERT_EQ(kept.size(), std::min(before + 1, kKeptReports));
    std::ifstream in(kept.back());
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("\nEnded: stopped by the user\n"), std::string::npos) << text;
}

TEST_F(WindowTest, EnterDoesNothing) {
    for (QWidget* target : {static_cast<QWidget*>(Item<QComboBox>(ids::IDC_PORT_LIST)),
                            static_cast<QWidget*>(&dialog)}) {
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
    }
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(questions.empty());
}

TEST_F(WindowTest, AppendGoesToTheEndAndDropsTheUsersSelection) {
    dialog.AppendLog("first line\r\n");
    dialog.AppendLog("second line\r\n");
    QTextCursor cursor = dialog.logBox->textCursor();
    cursor.setPosition(2);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    dialog.logBox->setTextCursor(cursor);
    dialog.AppendLog("third line\r\n");
    EXPECT_EQ(dialog.LogText(), "first line\r\nsecond line\r\nthird line\r\n");
    EXPECT_FALSE(dialog.logBox->textCursor().hasSelection());
    EXPECT_TRUE(dialog.logBox->isReadOnly());

    dialog.ClearLog();
    EXPECT_TRUE(dialog.LogText().isEmpty());
}

TEST_F(WindowTest, ControlsSitAtTheirDialogUnitRectangles) {
    const toolkit::DialogTemplate& layout = dialog.Template();
    EXPECT_EQ(dialog.size(), dialog.Units().ToPixels(layout.size));
    EXPECT_EQ(layout.controls.size(), 15);
    int placed = 0;
    for (const toolkit::ControlTemplate& row : layout.controls) {
        if (row.id < 0) {
            continue;
        }
        QWidget* widget = dialog.GetDlgItem(row.id);
        ASSERT_NE(widget, nullptr) << row.id;
        const QRect expected = dialog.Units().ToPixels(row.rect);
        if (row.kind == toolkit::ControlKind::ComboBox) {
            EXPECT_EQ(widget->geometry().topLeft(), expected.topLeft());
            EXPECT_EQ(widget->width(), expected.width());
            EXPECT_LE(widget->height(), expected.height());
        } else {
            EXPECT_EQ(widget->geometry(), expected) << row.id;
        }
        ++placed;
    }
    EXPECT_EQ(placed, 13);
    // Ids 1 and 2 exist but are never shown; the serial control has no face.
    for (int id : {1, 2, ids::IDC_SERIAL}) {
        EXPECT_FALSE(dialog.GetDlgItem(id)->isVisible()) << id;
    }
    // The base units follow the 9-point font.
    EXPECT_GT(dialog.Units().BaseX(), 3);
    EXPECT_GT(dialog.Units().BaseY(), 8);
}

// A line longer than the log box is wide wraps inside it: every character
// of it, and of the lines after it, lies within the box's width.
TEST_F(WindowTest, LongLogLinesWrapInsideTheBox) {
    const std::string line =
        "ERROR! The controller answered \"E7\" to the erase command at block 12 of 96; "
        "reset the hand controller, check the cable and the adapter, then start again.\r\n";
    for (int i = 0; i < 3; ++i) {
        dialog.AppendLog(line);
    }
    QPlainTextEdit* log = dialog.logBox;
    EXPECT_EQ(dialog.LogText().toStdString(), line + line + line);
    const int width = log->viewport()->width();
    QTextCursor cursor(log->document());
    int outside = 0;
    for (int position = 0; position < log->document()->characterCount() - 1; ++position) {
        cursor.setPosition(position);
        const QRect at = log->cursorRect(cursor);
        outside += at.left() < 0 || at.left() >= width ? 1 : 0;
    }
    EXPECT_EQ(outside, 0) << "characters outside a box " << width << " pixels wide";
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next()) {
        EXPECT_GE(block.layout()->lineCount(), 2) << "wrapped: " << block.text().toStdString();
    }
}

TEST_F(WindowTest, TabOrderFollowsTheRows) {
    std::vector<int> order;
    QWidget* widget = Item<QComboBox>(ids::IDC_PORT_LIST);
    for (int i = 0; i < 7; ++i) {
        order.push_back(widget->property("controlId").toInt());
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() != Qt::StrongFocus || !widget->isVisible() ||
               !widget->property("controlId").isValid()) {
            widget = widget->nextInFocusChain();
        }
    }
    EXPECT_EQ(order, (std::vector<int>{1000, 1001, 1002, 1003, 1004, 1009, 1010}));
}

#ifndef Q_OS_WIN
std::vector<std::string> MenuTexts(const QMenu* menu) {
    std::vector<std::string> texts;
    for (const QAction* action : menu->actions()) {
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    }
    return texts;
}

// A window without a minimise box has no Minimize in its menu either.
// Reports opens the folder of the kept reports; Night Mode is checked at
// night (NightModeIsCheckedRememberedAndOverridden).
TEST_F(WindowTest, SystemMenuStandInEndsWithAboutNightModeAndReports) {
    ASSERT_NE(dialog.SystemMenuStandIn(), nullptr);
    EXPECT_EQ(
        MenuTexts(dialog.SystemMenuStandIn()),
        (std::vector<std::string>{"Mi&nimize", "&Close", "-", "About Velmoro Downloader(&A)...",
                                  "Night Mode(&N)", "Transfer Reports(&R)..."}));
    dialog.SystemMenuStandIn()->actions().at(5)->trigger();
    ASSERT_EQ(opened.size(), 1U);
    EXPECT_EQ(opened[0], qEnvironmentVariable("VELMORO_REPORTS_DIR"));
    EXPECT_TRUE(QFileInfo(opened[0]).isDir());
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));

    CAboutDlg about(&dialog);
    about.Create();
    ASSERT_NE(about.SystemMenuStandIn(), nullptr);
    EXPECT_EQ(MenuTexts(about.SystemMenuStandIn()), std::vector<std::string>{"&Close"});
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
}

// The window's own menu from the keyboard, wherever the focus is: Alt+Space
// as on Windows, and the context-menu key and Shift+F10 where the desktop
// keeps Alt+Space for its own window menu.
TEST_F(WindowTest, KeysOpenTheSystemMenuStandIn) {
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QMenu* menu = dialog.SystemMenuStandIn();
    const struct {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {{"Alt+Space", Qt::Key_Space, Qt::AltModifier},
                {"Menu", Qt::Key_Menu, Qt::NoModifier},
                {"Shift+F10", Qt::Key_F10, Qt::ShiftModifier}};
    for (const int id : {ids::IDC_PORT_LIST, ids::IDC_LOG, ids::IDC_START_STOP}) {
        QWidget* focus = dialog.GetDlgItem(id);
        focus->setFocus();
        for (const auto& key : keys) {
            QTest::keyClick(focus, key.key, key.modifiers);
            EXPECT_TRUE(menu->isVisible()) << key.name << " in control " << id;
            menu->hide();
        }
    }
}
#endif

// Runs check once the next modal dialog is up, then closes it with Escape.
void WhenModalOpens(const std::function<void(QWidget*)>& check) {
    QTimer::singleShot(0, [check] {
        QWidget* modal = QApplication::activeModalWidget();
        check(modal);
        if (modal != nullptr) {
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    });
}

QAction* NightItem(const CDownloaderDlg& dialog) {
    const QList<QAction*> actions = dialog.SystemMenuStandIn()->actions();
    const auto item = std::find_if(actions.begin(), actions.end(), [](const QAction* action) {
        return action->text() == toolkit::LoadString(ids::IDS_NIGHT);
    });
    return item != actions.end() ? *item : nullptr;
}

// Sets an environment variable for one test and gives back its old value.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~ScopedEnvironment() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

std::string FileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The program as started: the look it shows, with the menu item's check,
// read from its window once it is up; the window is then closed.
drawing::Look StartedLook(std::vector<std::string> arguments, int& answer) {
    drawing::Look shown = drawing::Look::kDay;
    QTimer::singleShot(0, [&] {
        auto* started = dynamic_cast<CDownloaderDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(started, nullptr);
        shown = toolkit::CurrentLook();
        EXPECT_EQ(NightItem(*started)->isChecked(), shown == drawing::Look::kNight);
        EXPECT_EQ(started->palette().color(QPalette::Window) ==
                      toolkit::NightPalette().color(QPalette::Window),
                  shown == drawing::Look::kNight);
        answer = IDYES;
        started->close();
    });
    // Each start is a fresh process, which begins in the day look.
    toolkit::SetLook(drawing::Look::kDay);
    CDownloaderApp(std::move(arguments)).InitInstance();
    return shown;
}

// The settings file's look: its last look line, whatever ends its lines and
// whatever else the file holds; anything else is day.
TEST_F(WindowTest, SettingsFileGivesItsLastLookLine) {
    const std::pair<const char*, drawing::Look> rows[] = {
        {"", drawing::Look::kDay},
        {"look=night\n", drawing::Look::kNight},
        {"look=night", drawing::Look::kNight},
        {"look=night\r\n", drawing::Look::kNight},
        {"other=1\nlook=night\n", drawing::Look::kNight},
        {"look=night\nother", drawing::Look::kNight},
        {"look=night\nlook=day\n", drawing::Look::kDay},
        {"look=nightly\n", drawing::Look::kDay},
    };
    for (const auto& [text, look] : rows) {
        EXPECT_EQ(window::LookFromSettings(text), look) << text;
    }
}

// A device plugged in chooses the port that reaches it, named by its device
// (one no file stands for yet included) or, as Windows names them, "COMn";
// anything else, "COM" alone among them, chooses nothing.
TEST_F(WindowTest, PluggedInDeviceChoosesThePortThatReachesIt) {
    const ScopedEnvironment com4("VELMORO_COM4", "/nonexistent/adapter");
    auto* box = Item<QComboBox>(ids::IDC_PORT_LIST);
    const std::pair<const char*, const char*> rows[] = {
        {"/nonexistent/adapter", "COM4"},
        {"COM", "COM4"},
        {"COM0", "COM4"},
        {"COM7", "COM7"},
        {"COM1234567", "COM7"},
        {"/nonexistent/other", "COM7"},
    };
    for (const auto& [device, chosen] : rows) {
        dialog.OnSerialDeviceArrived(device);
        EXPECT_EQ(box->currentText().toStdString(), chosen) << device;
    }
}

// The port list showed COM1 reaching one device; the devices present have
// changed since, and COM1, counted among them, now reaches another. Start
// opens neither and says which device COM1 reaches now; once the list has
// shown that, Start goes there.
TEST_F(WindowTest, StartOpensOnlyTheDeviceTheListShowed) {
    Sim shown({});
    Sim now({});
    ASSERT_TRUE(shown.Listening() && now.Listening());
    auto* ports = Item<QComboBox>(ids::IDC_PORT_LIST);
    const auto dropList = [ports] {
        ports->showPopup();
        ports->hidePopup();
    };
    qputenv("VELMORO_COM1", QByteArray::fromStdString(shown.Link()));
    dropList();
    qputenv("VELMORO_COM1", QByteArray::fromStdString(now.Link()));
    TempFile image(std::string(3000, 'x'));
    ChooseFile(image.Path());
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
    EXPECT_FALSE(dialog.Engine().State().busy);
    EXPECT_FALSE(dialog.serialControl.GetPortOpen());
    ASSERT_EQ(questions.size(), 1U);
    EXPECT_EQ(questions[0].icon, toolkit::MessageIcon::Stop);
    const std::string said = questions[0].text.toStdString();
    EXPECT_NE(said.find("COM1: it now reaches " + now.Link() + ", not " + shown.Link()),
              std::string::npos)
        << said;

    dropList();
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
    EXPECT_TRUE(dialog.Engine().State().busy) << dialog.LogText().toStdString();
    EXPECT_EQ(dialog.serialControl.DeviceName(), now.Link());
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
}

// Chosen from the menu, the look is checked there, kept in the settings
// file and shown again at the next start; "--day" and "--night" override it
// for one start without changing it.
TEST_F(WindowTest, NightModeIsCheckedRememberedAndOverridden) {
    TempFile scratch("");
    const fs::path folder = scratch.Path().parent_path() / "settings";
    const ScopedEnvironment settings(window::kSettingsFolderVariable,
                                     QByteArray::fromStdString(folder.string()));
    const fs::path file = folder / window::kSettingsFileName;
    QAction* item = NightItem(dialog);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(StartedLook({}, answer), drawing::Look::kDay) << "never chosen";

    item->trigger();
    EXPECT_EQ(toolkit::CurrentLook(), drawing::Look::kNight);
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(FileText(file), "look=night\n");
    EXPECT_EQ(StartedLook({"velmoro-downloader"}, answer), drawing::Look::kNight);
    EXPECT_EQ(StartedLook({"velmoro-downloader", "--day"}, answer), drawing::Look::kDay);
    EXPECT_EQ(FileText(file), "look=night\n") << "an override is not remembered";

    dialog.ShowLook(drawing::Look::kNight);
    dialog.OnSysCommand(ids::IDM_NIGHT, 0);
    EXPECT_EQ(toolkit::CurrentLook(), drawing::Look::kDay);
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(FileText(file), "look=day\n");
    EXPECT_EQ(StartedLook({"velmoro-downloader"}, answer), drawing::Look::kDay);
    EXPECT_EQ(StartedLook({"velmoro-downloader", "--night"}, answer), drawing::Look::kNight);

    // Without the tests' folder, the file is the user's, in the XDG
    // configuration folder.
    const ScopedEnvironment unnamed(window::kSettingsFolderVariable, QByteArray());
    const ScopedEnvironment config("XDG_CONFIG_HOME",
                                   QByteArray::fromStdString((folder / "config").string()));
    window::RememberLook(drawing::Look::kNight);
    EXPECT_EQ(FileText(folder / "config" / "velmoro-downloader" / "settings.ini"), "look=night\n");
    EXPECT_EQ(window::RememberedLook(), drawing::Look::kNight);
}

// The first pixel of the picture outside the night limit, as "x,y #rrggbb",
// or nothing; and how many pixels are bright enough to be read as text.
struct NightReading {
    std::string brightPixel;
    int inked = 0;
};

NightReading ReadNight(const QImage& picture) {
    NightReading reading;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            const drawing::Rgb rgb{static_cast<std::uint8_t>(qRed(pixel)),
                                   static_cast<std::uint8_t>(qGreen(pixel)),
                                   static_cast<std::uint8_t>(qBlue(pixel))};
            if (!drawing::IsNightSafe(rgb) && reading.brightPixel.empty()) {
                reading.brightPixel = std::to_string(x) + "," + std::to_string(y) + " " +
                                      QColor(pixel).name().toStdString();
            }
            if (rgb.red >= 120) {
                ++reading.inked;
            }
        }
    }
    return reading;
}

// The widget as the screen shows it, once the events that a change of look
// sends have been delivered.
QImage Shown(QWidget* widget) {
    QApplication::processEvents();
    return widget->grab().toImage();
}

// Nothing in the picture is brighter than the night limit (so nothing is
// white), and its texts still show.
void ExpectNight(const QImage& picture, const std::string& what) {
    const NightReading reading = ReadNight(picture);
    EXPECT_EQ(reading.brightPixel, "") << what;
    EXPECT_GT(reading.inked, 20) << what << ": no text to be seen";
}

// Every window the user can meet at night: the main window idle, with the
// focus on a button and the mouse over another, during a transfer, with its
// port list dropped and its system menu open, a question open over it, and
// the About box. Day again, the window is as it was to the last pixel.
TEST_F(WindowTest, NightLeavesNoPixelBrighterThanTheLimit) {
    // A change of palette drops the port box's selection, which is no part
    // of the look.
    Item<QComboBox>(ids::IDC_PORT_LIST)->lineEdit()->deselect();
    dialog.startStopButton->setFocus();
    const QImage day = Shown(&dialog);
    dialog.OnSysCommand(ids::IDM_NIGHT, 0);
    ASSERT_EQ(toolkit::CurrentLook(), drawing::Look::kNight);
    ExpectNight(Shown(&dialog), "idle, Start focused");
    // The unchecked radio button's ring and the edit boxes' frames still
    // show on the black window, in the shadow colour.
    const int shadow = drawing::NightColors()[drawing::SysColor::kBtnShadow].rgb.red;
    for (const int id : {ids::IDC_OBJECT_CATALOG, ids::IDC_FILE_PATH, ids::IDC_LOG}) {
        const QImage picture = Shown(dialog.GetDlgItem(id));
        int brightest = 0;
        for (int y = 0; y < picture.height(); ++y) {
            brightest = std::max(brightest, qRed(picture.pixel(1, y)));
        }
        EXPECT_GE(brightest, shadow * 3 / 4) << "control " << id << ": no frame at its left";
    }
    dialog.OnSysCommand(ids::IDM_NIGHT, 0);
    ASSERT_EQ(toolkit::CurrentLook(), drawing::Look::kDay);
    EXPECT_EQ(Shown(&dialog), day) << "day again, as before";
    dialog.OnSysCommand(ids::IDM_NIGHT, 0);
    QTest::mouseMove(dialog.openButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return dialog.openButton->Hover(); }, kWaitMs));
    ExpectNight(Shown(&dialog), "the mouse over Open");
    QTest::mouseMove(&dialog, QPoint(1, 1));

    window::ShowTransferUnderWay(dialog);
    ExpectNight(Shown(&dialog), "during a transfer");
    auto* ports = Item<QComboBox>(ids::IDC_PORT_LIST);
    ports->showPopup();
    ExpectNight(Shown(ports->view()->window()), "the port list dropped");
    ports->hidePopup();
    QMenu* menu = dialog.SystemMenuStandIn();
    menu->popup(dialog.mapToGlobal(QPoint(0, 0)));
    ExpectNight(Shown(menu), "the system menu");
    menu->hide();

    toolkit::SetMessageBoxHook({});
    bool asked = false;
    WhenModalOpens([&](QWidget* box) {
        ASSERT_NE(box, nullptr);
        asked = true;
        ExpectNight(Shown(box), "the quit question");
    });
    dialog.close();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(dialog.isVisible());

    CAboutDlg about(&dialog);
    about.Create();
    about.show();
    ExpectNight(Shown(&about), "the About box");
    about.hide();
}

TEST_F(WindowTest, AboutBoxOpensForCommand16WithAnyLowBits) {
    for (unsigned command : {16U, 17U, 31U, 0x10010U}) {
        bool seen = false;
        WhenModalOpens([&](QWidget* modal) {
            auto* about = dynamic_cast<CAboutDlg*>(modal);
            ASSERT_NE(about, nullptr);
            seen = true;
            EXPECT_EQ(about->windowTitle(), "About Velmoro Downloader");
            EXPECT_EQ(about->okButton->text(), "OK");
        });
        dialog.OnSysCommand(command, 0);
        EXPECT_TRUE(seen) << command;
    }
}

// The caption's ink, found as what a caption of blanks does not paint, lies
// between the icon and the right edge's bevel, clear of both. CTest runs this
// again at 200% scale.
TEST_F(WindowTest, HelpAndHomeCaptionsStandWholeBesideTheirIcons) {
    const double scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
    for (CIconButton* button : {dialog.helpButton, dialog.homeButton}) {
        const QString caption = button->text();
        const QImage shown = button->grab().toImage();
        button->setText(QString(caption.size(), QLatin1Char(' ')));
        const QImage blank = button->grab().toImage();
        button->setText(caption);
        ASSERT_EQ(shown.devicePixelRatio(), scale);
        QRect ink;
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                if (shown.pixel(x, y) != blank.pixel(x, y)) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        ASSERT_FALSE(ink.isEmpty()) << caption.toStdString();
        const int iconRight = 3 + button->IconSize(0).width();
        const int bevelLeft = button->width() - 2;
        EXPECT_GE(ink.left() / scale, iconRight) << caption.toStdString();
        EXPECT_LE((ink.right() + 1) / scale, bevelLeft) << caption.toStdString();
    }
}

TEST_F(WindowTest, HelpAndHomeOpenThroughTheShell) {
    QTest::mouseClick(dialog.helpButton, Qt::LeftButton);
    QTest::mouseClick(dialog.homeButton, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2U);
    EXPECT_EQ(opened[0], QApplication::applicationDirPath() + "/Help.htm");
    EXPECT_EQ(opened[1], toolkit::HomeAddress());
    EXPECT_TRUE(opened[1].startsWith("https://"));
}

TEST(MinimisedIcon, IsCentredWithTheOddPixelRightAndBelow) {
    EXPECT_EQ(MinimisedIconPosition(QSize(160, 24), QSize(32, 32)), QPoint(64, -3));
    EXPECT_EQ(MinimisedIconPosition(QSize(33, 33), QSize(32, 32)), QPoint(1, 1));
}

const QString kFinishedLog = QString::fromLatin1(
    "Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \r\n"
    "Connected.\r\n"
    "Processing ...   Please wait ...\r\n"
    "Download successfully finished!\r\n");

// Three objects, the separator and three stars: one block for each section.
std::string SmallCatalogue() {
    std::string text;
    for (int i = 1; i <= 3; ++i) {
        text += "OBJ" + std::to_string(i) + "   ,Object " + std::to_string(i) +
                "    ,1234,7,1.5,20.25,0.1,300,0,0,0,0,\r\n";
    }
    text += "----- stars -----\r\n";
    for (int i = 1; i <= 3; ++i) {
        text += std::to_string(i) + ",Star " + std::to_string(i) +
                "  ,1234,7,1.5,20.25,0.1,300,0,0,0,0,2.5\r\n";
    }
    return text;
}

// Transfers one after another in the same window, each into a controller of
// its own on COM2, chosen in the list, while COM1 leads nowhere. The first is
// broken off where the error reply takes the place of ":RB_OK#" for the block
// that holds the separator: the catalogue's section flags and the blank-check
// flag are left as they stand in mid-transfer, and every later transfer must
// start afresh all the same.
TEST_F(WindowTest, TransfersInTurnOnCom2EachReachTheControllerExactly) {
    qputenv("VELMORO_COM1", QByteArray("/nonexistent/velmoro-port"));
    auto* ports = Item<QComboBox>(ids::IDC_PORT_LIST);
    QTest::keyClick(ports, Qt::Key_Down);
    ASSERT_EQ(ports->currentText(), "COM2");
    ASSERT_EQ(dialog.portNumber, 2);

    TempFile catalogue(SmallCatalogue());
    const std::string firmware = PseudoRandomImage(5000, 77U);
    TempFile image(firmware);
    const auto transfer = [this](const Sim& sim, int typeButton, const fs::path& file) {
        qputenv("VELMORO_COM2", QByteArray::fromStdString(sim.Link()));
        QTest::mouseClick(Item<QRadioButton>(typeButton), Qt::LeftButton);
        ChooseFile(file);
        QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
        EXPECT_FALSE(dialog.openButton->isEnabled());
        EXPECT_EQ(dialog.startStopButton->text(), "Stop Download(&D)");
        EXPECT_TRUE(QTest::qWaitFor([this] { return !dialog.Engine().State().busy; }, kWaitMs));
        EXPECT_TRUE(questions.empty()) << questions.front().text.toStdString();
        EXPECT_TRUE(dialog.openButton->isEnabled());
        EXPECT_EQ(dialog.startStopButton->text(), "Start Download(&D)");
    };
    const std::string finished = "velmoro-hc-sim: finished;";

    {
        // Greeting, version, the 68 sectors' erase and blank check, then the
        // first block's ":RB_OK#".
        Sim sim({"--error-at", "139"});
        ASSERT_TRUE(sim.Listening());
        transfer(sim, ids::IDC_OBJECT_CATALOG, catalogue.Path());
        EXPECT_TRUE(dialog.LogText().endsWith(
            "Error occurs! Transmission stop. Please check all the devices, then try again.\r\n"));
        EXPECT_EQ(sim.Finish(true),
                  "velmoro-hc-sim: error reply sent; 138 commands, 0 blocks written, "
                  "0 violations\n");
    }
    {
        Sim sim({});
        ASSERT_TRUE(sim.Listening());
        transfer(sim, ids::IDC_OBJECT_CATALOG, catalogue.Path());
        EXPECT_EQ(dialog.LogText(), kFinishedLog);
        EXPECT_EQ(sim.Finish(true).substr(0, finished.size()), finished);
        EXPECT_EQ(sim.ExitCode(), 0);
        ExpectCatalogInFlash(catalogue.Path(), sim);
    }
    {
        Sim sim({"--beacons", "3"});
        ASSERT_TRUE(sim.Listening());
        transfer(sim, ids::IDC_MAIN_PROGRAM, image.Path());
        EXPECT_EQ(dialog.LogText(), kFinishedLog);
        EXPECT_EQ(dialog.progressBar->Pos(), 5);
        EXPECT_EQ(sim.Finish(true).substr(0, finished.size()), finished);
        EXPECT_EQ(sim.ExitCode(), 0);
        EXPECT_EQ(sim.Flash("internal.bin"), firmware + std::string(5 * 1024 - 5000, '\0'));
    }
    {
        Sim sim({});
        ASSERT_TRUE(sim.Listening());
        transfer(sim, ids::IDC_OBJECT_CATALOG, catalogue.Path());
        EXPECT_EQ(dialog.LogText(), kFinishedLog);
        EXPECT_EQ(sim.Finish(true).substr(0, finished.size()), finished);
        EXPECT_EQ(sim.ExitCode(), 0);
        ExpectCatalogInFlash(catalogue.Path(), sim);
    }
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(WindowTest, LargeTransferRepaintsTheBarAtMostOncePerPixel) {
    TempFile image(std::string(1024 * 1024, '\x33'));
    Sim sim({});
    ASSERT_TRUE(sim.Listening());
    qputenv("VELMORO_COM1", QByteArray::fromStdString(sim.Link()));
    ChooseFile(image.Path());
    PaintCounter counter;
    dialog.progressBar->installEventFilter(&counter);
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog("Download successfully finished!"));
    EXPECT_EQ(dialog.progressBar->Pos(), 1025);
    EXPECT_EQ(dialog.progressBar->Bar().TextToDraw(), "100%");
    // 1025 positions, one repaint for each pixel the bar grows at most.
    EXPECT_LE(counter.paints, dialog.progressBar->width() + 2);
    EXPECT_GT(counter.paints, dialog.progressBar->width() / 2);
    EXPECT_EQ(sim.Finish(true).substr(0, 25), "velmoro-hc-sim: finished;");
}

TEST_F(WindowTest, TransferGoesOnWhileTheAboutBoxIsOpen) {
    TempFile image(std::string(6000, '\x11'));
    Sim sim({"--write-delay", "50"});
    ASSERT_TRUE(sim.Listening());
    qputenv("VELMORO_COM1", QByteArray::fromStdString(sim.Link()));
    ChooseFile(image.Path());
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
    ASSERT_TRUE(WaitForLog("Connected."));

    // The About box's own event loop keeps the transfer going to its end.
    bool finishedInside = false;
    QTimer::singleShot(0, [&] {
        QWidget* about = QApplication::activeModalWidget();
        finishedInside = QTest::qWaitFor([&] { return !dialog.Engine().State().busy; }, kWaitMs);
        if (about != nullptr) {
            QTest::keyClick(about, Qt::Key_Escape);
        }
    });
    dialog.OnSysCommand(ids::IDM_ABOUTBOX, 0);
    EXPECT_TRUE(finishedInside);
    EXPECT_EQ(dialog.LogText(), kFinishedLog);
    EXPECT_EQ(sim.Finish(true).substr(0, 25), "velmoro-hc-sim: finished;");
}

#ifdef VELMORO_HAVE_DBUS
// The computer is kept from sleeping while a transfer runs, and no longer.
TEST_F(WindowTest, SleepIsInhibitedWhileATransferRunsAndNoLonger) {
    CPrivateSystemBus bus;
    ASSERT_TRUE(bus.Ready());
    TempFile image(std::string(6000, '\x22'));
    Sim sim({"--write-delay", "100"});
    ASSERT_TRUE(sim.Listening());
    qputenv("VELMORO_COM1", QByteArray::fromStdString(sim.Link()));
    ChooseFile(image.Path());
    QTest::mouseClick(dialog.startStopButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&bus] { return !bus.logind.locks.empty(); }, kWaitMs));
    const CLogindStandIn::Lock& lock = bus.logind.locks.front();
    EXPECT_EQ(lock.arguments, CLogindStandIn::SleepLockArguments());
    EXPECT_TRUE(dialog.Engine().State().busy);
    EXPECT_FALSE(CLogindStandIn::Released(lock)) << "held while the transfer runs";
    ASSERT_TRUE(WaitForLog("Download successfully finished!"));
    EXPECT_TRUE(QTest::qWaitFor([&lock] { return CLogindStandIn::Released(lock); }, kWaitMs));
    EXPECT_EQ(bus.logind.locks.size(), 1U);
}

// The command line holds the same lock for its one transfer.
TEST(KeepAwake, CommandLineHoldsTheSleepLockWhileItsTransferRuns) {
    CPrivateSystemBus bus;
    ASSERT_TRUE(bus.Ready());
    TempFile image(std::string(6000, '\x22'));
    Sim sim({"--write-delay", "100"});
    ASSERT_TRUE(sim.Listening());
    QProcess cli;
    cli.start(VELMORO_CLI, {"download", "--port", QString::fromStdString(sim.Link()), "--type",
                            "main", QString::fromStdString(image.Path().string())});
    ASSERT_TRUE(QTest::qWaitFor([&bus] { return !bus.logind.locks.empty(); }, kWaitMs));
    const CLogindStandIn::Lock& lock = bus.logind.locks.front();
    EXPECT_EQ(lock.arguments, CLogindStandIn::SleepLockArguments());
    EXPECT_EQ(cli.state(), QProcess::Running);
    EXPECT_FALSE(CLogindStandIn::Released(lock)) << "held while the transfer runs";
    ASSERT_TRUE(QTest::qWaitFor([&cli] { return cli.state() == QProcess::NotRunning; }, kWaitMs));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(CLogindStandIn::Released(lock));
}

// ... and lets it go while the controller is silent, taking it again when
// the controller answers: each flash write is answered after 1.2 s, the
// lock let go after 0.3 s of silence.
TEST(KeepAwake, CommandLineLetsTheComputerSleepWhileTheControllerIsSilent) {
    CPrivateSystemBus bus;
    ASSERT_TRUE(bus.Ready());
    TempFile image(std::string(3000, '\x22'));
    Sim sim({"--write-delay", "1200"});
    ASSERT_TRUE(sim.Listening());
    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELMORO_KEEP_AWAKE_SILENCE_MS", "300");
    cli.setProcessEnvironment(environment);
    cli.start(VELMORO_CLI, {"download", "--port", QString::fromStdString(sim.Link()), "--type",
                            "main", QString::fromStdString(image.Path().string())});
    const std::vector<CLogindStandIn::Lock>& locks = bus.logind.locks;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !locks.empty(); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return CLogindStandIn::Released(locks[0]); }, kWaitMs));
    EXPECT_EQ(cli.state(), QProcess::Running) << "let go while the transfer waits";
    ASSERT_TRUE(QTest::qWaitFor([&] { return locks.size() == 2; }, kWaitMs));
    EXPECT_EQ(cli.state(), QProcess::Running) << "taken again when the controller answers";
    EXPECT_EQ(locks[1].arguments, CLogindStandIn::SleepLockArguments());
    ASSERT_TRUE(QTest::qWaitFor([&cli] { return cli.state() == QProcess::NotRunning; }, kWaitMs));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    // A lock asked for just before the end may still be on its way back
    // through the bus when the program lets go.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return std::all_of(locks.begin(), locks.end(), CLogindStandIn::Released); },
        kWaitMs));
}
#endif

// The shared window scenarios, played on this window: clicks and keys
// through QTest, the file dialog and the message boxes through the
// platform's seams.
class CQtWindowDriver : public scenarios::IWindowDriver {
public:
    // keptAwake asks a stand-in for logind, where there is one.
    CQtWindowDriver(CDownloaderDlg& dialog, std::function<bool()> keptAwake)
        : dialog_(dialog), keptAwake_(std::move(keptAwake)) {
        toolkit::SetMessageBoxHook([this](const MessageRequest& request) {
            questions_.push_back({request.caption.toStdString(), request.text.toStdString(),
                                  request.icon == toolkit::MessageIcon::Stop
                                      ? scenarios::Icon::Stop
                                      : scenarios::Icon::Question,
                                  request.defaultButton == IDYES});
            if (whenAsked_) {
                std::exchange(whenAsked_, nullptr)();
            }
            if (enter_) {
                return request.buttons == toolkit::MessageButtons::YesNo ? request.defaultButton
                                                                         : toolkit::IDOK;
            }
            return yes_ ? IDYES : IDNO;
        });
    }

    void ChooseFile(const fs::path& path) override {
        toolkit::SetFileOpenHook([path] { return QString::fromStdString(path.string()); });
        QTest::mouseClick(dialog_.openButton, Qt::LeftButton);
    }
    void ClickRadio(int id) override {
        QTest::mouseClick(dialog_.Item<QRadioButton>(id), Qt::LeftButton);
    }
    void ClickStartStop() override { QTest::mouseClick(dialog_.startStopButton, Qt::LeftButton); }
    // What the platform delivers: press, release, the double click in
    // place of the second press, release.
    void DoubleClickStartStop() override {
        QTest::mouseClick(dialog_.startStopButton, Qt::LeftButton);
        QTest::mouseDClick(dialog_.startStopButton, Qt::LeftButton);
        QTest::mouseRelease(dialog_.startStopButton, Qt::LeftButton);
    }
    void PressEscape() override { QTest::keyClick(&dialog_, Qt::Key_Escape); }
    void AnswerQuestions(bool yes) override {
        yes_ = yes;
        enter_ = false;
    }
    void AnswerWithEnter() override { enter_ = true; }
    void WhenAsked(std::function<void()> act) override { whenAsked_ = std::move(act); }
    bool WaitFor(const std::function<bool()>& condition) override {
        return QTest::qWaitFor(condition, kWaitMs);
    }
    std::string LogText() override { return dialog_.LogText().toStdString(); }
    std::string StartStopCaption() override {
        return dialog_.startStopButton->text().toStdString();
    }
    bool OpenEnabled() override { return dialog_.openButton->isEnabled(); }
    std::string ProgressText() override { return dialog_.progressBar->Bar().TextToDraw(); }
    bool WindowShown() override { return dialog_.isVisible(); }
    std::vector<scenarios::Question> Questions() override { return questions_; }
    std::optional<bool> KeptAwake() override {
        if (!keptAwake_) {
            return std::nullopt;
        }
        return keptAwake_();
    }
    // A session's end is not the program's to refuse here.
    std::optional<bool> SessionMayEnd() override { return std::nullopt; }
    void ChoosePort(int n) override {
        auto* list = dialog_.Item<QComboBox>(ids::IDC_PORT_LIST);
        list->setCurrentIndex(list->findText(QStringLiteral("COM%1").arg(n)));
    }
    // udev's notice, as the window takes it: the device COMn reaches.
    void PlugIn(int n) override {
        dialog_.OnSerialDeviceArrived(
            qEnvironmentVariable(("VELMORO_COM" + std::to_string(n)).c_str()).toStdString());
    }
    std::vector<std::string> DroppedPortList() override {
        auto* list = dialog_.Item<QComboBox>(ids::IDC_PORT_LIST);
        list->showPopup();
        std::vector<std::string> items;
        for (int i = 0; i < list->count(); ++i) {
            items.push_back(list->itemText(i).toStdString());
        }
        list->hidePopup();
        return items;
    }
    std::string PortBox() override {
        return dialog_.Item<QComboBox>(ids::IDC_PORT_LIST)->currentText().toStdString();
    }
    void ChooseNightMode() override { NightItem(dialog_)->trigger(); }
    bool ShowsNightLook() override { return ReadNight(Shown(&dialog_)).brightPixel.empty(); }

private:
    CDownloaderDlg& dialog_;
    std::function<bool()> keptAwake_;
    std::vector<scenarios::Question> questions_;
    bool yes_ = false;
    bool enter_ = false;
    std::function<void()> whenAsked_;
};

// The parameter first: the window is made with the scenario's silence.
class WindowScenario : public ::testing::WithParamInterface<scenarios::Scenario>,
                       public WindowTest {
protected:
    WindowScenario() : WindowTest(GetParam().keepAwakeSilence) {}
};

TEST_P(WindowScenario, PlaysAsWritten) {
    const scenarios::Scenario& scenario = GetParam();
    if (scenario.simPort > 9) {
        GTEST_SKIP() << "only Windows has ports above COM9";
    }
    QStringList options;
    for (const std::string& option : scenario.simOptions) {
        options << QString::fromStdString(option);
    }
    Sim sim(options);
    ASSERT_TRUE(sim.Listening());
    qputenv("VELMORO_COM1", scenario.port == scenarios::Port::Simulator
                                ? QByteArray::fromStdString(sim.Link())
                                : QByteArray("/nonexistent/velmoro-port"));
    TempFile file(scenarios::FileContents(scenario.file));
#ifdef VELMORO_HAVE_DBUS
    CPrivateSystemBus bus;
    ASSERT_TRUE(bus.Ready());
    // Some lock not yet let go.
    CQtWindowDriver window(dialog, [&bus] {
        return std::any_of(
            bus.logind.locks.begin(), bus.logind.locks.end(),
            [](const CLogindStandIn::Lock& lock) { return !CLogindStandIn::Released(lock); });
    });
#else
    CQtWindowDriver window(dialog, nullptr);
#endif
    scenarios::Play(scenario, window, file.Path());
    scenarios::ExpectSimSummary(scenario, sim.Finish(true));
    if (scenario.flash) {
        EXPECT_EQ(sim.Flash("internal.bin"), scenarios::ExpectedInternalFlash(*scenario.flash));
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, WindowScenario, ::testing::ValuesIn(scenarios::All()),
                         scenarios::ScenarioName());
INSTANTIATE_TEST_SUITE_P(ScenariosAtNight, WindowScenario,
                         ::testing::ValuesIn(scenarios::AllAtNight()), scenarios::ScenarioName());

}  // namespace
}  // namespace velmoro::testing
