#include "downloader_dialog.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <algorithm>
#include <functional>
#include <utility>

#include "about_dialog.h"
#include "device_arrivals.h"
#include "dialog_template.h"
#include "hover_button.h"
#include "icon_button.h"
#include "look.h"
#include "no_port.h"
#include "percent_progress_ctrl.h"
#include "platform.h"
#include "resources.h"
#include "system_drawing.h"

namespace velmoro {

using namespace ids;

namespace {

// The port list, which tells its window when it drops down and closes up.
class CPortListBox : public QComboBox {
public:
    CPortListBox(QWidget* parent, std::function<void(bool dropped)> onDrop)
        : QComboBox(parent), onDrop_(std::move(onDrop)) {}

    void showPopup() override {
        dropped_ = true;
        onDrop_(true);
        QComboBox::showPopup();
    }
    // Also called as the window goes, when only a list that was dropped
    // has anything to tell.
    void hidePopup() override {
        QComboBox::hidePopup();
        if (std::exchange(dropped_, false)) {
            onDrop_(false);
        }
    }

private:
    std::function<void(bool)> onDrop_;
    bool dropped_ = false;
};

}  // namespace

CDownloaderDlg::CDownloaderDlg(QWidget* parent, std::chrono::milliseconds keepAwakeSilence)
    : CDialog(IDD_DOWNLOADER_DIALOG, parent),
      windowIcon(toolkit::LoadIcon(IDR_MAINFRAME)),
      wiring_(serialControl, portNumber, *this),
      keepAwake_(*this, keepAwakeSilence) {
    wiring_.SetOnTransferRunning(
        [this](bool running, bool bytesReceived) { keepAwake_.Follow(running, bytesReceived); });
}

CDownloaderDlg::~CDownloaderDlg() = default;

QWidget* CDownloaderDlg::CreateControl(const toolkit::ControlTemplate& row) {
    switch (row.id) {
        case IDC_PROGRESS:
            return new CPercentProgressCtrl(this);
        case IDC_START_STOP:
        case IDC_OPEN:
            return new CHoverButton(this);
        case IDC_HELP_BUTTON:
        case IDC_HOME_BUTTON:
            return new CIconButton(this);
        case IDC_PORT_LIST: {
            auto* list = new CPortListBox(this, [this](bool dropped) {
                if (dropped) {
                    wiring_.RefreshPortList();
                }
                ShowPortList(dropped);
            });
            // As the template has it: a box that drops down, its items in
            // their order (COM1 to COM9 sort as written).
            list->setEditable(!row.Has("dropdownlist"));
            list->setInsertPolicy(QComboBox::NoInsert);
            list->addItems(row.items);
            list->setCurrentIndex(-1);
            return list;
        }
        default:
            return nullptr;
    }
}

void CDownloaderDlg::DoDataExchange() {
    logBox = Item<QPlainTextEdit>(IDC_LOG);
    progressBar = Item<CPercentProgressCtrl>(IDC_PROGRESS);
    startStopButton = Item<CHoverButton>(IDC_START_STOP);
    openButton = Item<CHoverButton>(IDC_OPEN);
    // The serial control has no face; its row only holds its place.
    Q_ASSERT(GetDlgItem(IDC_SERIAL) != nullptr);
}

bool CDownloaderDlg::OnInitDialog() {
    const QString about = toolkit::LoadString(IDS_ABOUTBOX);
    if (!about.isEmpty()) {
        AppendSystemMenuItem(IDM_ABOUTBOX, about);
    }
    // Night Mode beside About, as on Windows; About keeps its number.
    nightItem_ = AppendSystemMenuItem(IDM_NIGHT, toolkit::LoadString(IDS_NIGHT), about.isEmpty());
    nightItem_->setCheckable(true);
    nightItem_->setChecked(toolkit::CurrentLook() == drawing::Look::kNight);
    AppendSystemMenuItem(IDM_REPORTS, toolkit::LoadString(IDS_REPORTS), false);
    setWindowIcon(windowIcon);

    auto* portList = Item<QComboBox>(IDC_PORT_LIST);
    // Only a choice from the list sets the port, so the box takes no typing:
    // typed text could show one port while another is used.
    if (QLineEdit* edit = portList->lineEdit()) {
        edit->setReadOnly(true);
    }
    portList->setCurrentIndex(0);
    connect(portList, &QComboBox::currentIndexChanged, this,
            [this](int index) { wiring_.OnSelChangePortList(index); });
    auto* mainProgram = Item<QRadioButton>(IDC_MAIN_PROGRAM);
    mainProgram->setChecked(true);
    for (const int id : {IDC_MAIN_PROGRAM, IDC_OBJECT_CATALOG}) {
        connect(Item<QRadioButton>(id), &QRadioButton::clicked, this,
                [id] { window::CDownloaderWiring::OnUpdateTypeClicked(id); });
    }
    connect(openButton, &QPushButton::clicked, this, &CDownloaderDlg::OnOpenDataFile);
    connect(startStopButton, &QPushButton::clicked, this, [this] { wiring_.OnStartStop(); });

    helpButton = Item<CIconButton>(IDC_HELP_BUTTON);
    helpButton->Attach();
    helpButton->LoadIcons(IDI_HELP, 0);
    helpButton->SetFlatLook(false, true);
    homeButton = Item<CIconButton>(IDC_HOME_BUTTON);
    homeButton->Attach();
    homeButton->LoadIcons(IDI_HOME, 0);
    homeButton->SetFlatLook(false, true);
    connect(helpButton, &QPushButton::clicked, this, &CDownloaderDlg::OnHelp);
    connect(homeButton, &QPushButton::clicked, this, &CDownloaderDlg::OnHome);

    arrivals_ = new CDeviceArrivals(
        [this](const std::string& device) { OnSerialDeviceArrived(device); }, this);

    portList->setFocus();
    return true;
}

void CDownloaderDlg::OnSerialDeviceArrived(const std::string& device) {
    const int index = wiring_.OnDeviceArrived(device);
    if (index >= 0) {
        ShowPortList(false);
        Item<QComboBox>(IDC_PORT_LIST)->setCurrentIndex(index);
    }
}

void CDownloaderDlg::ShowPortList(bool dropped) {
    auto* portList = Item<QComboBox>(IDC_PORT_LIST);
    const std::vector<PortListItem>& items = wiring_.PortList();
    if (items.empty()) {
        return;  // not dropped down yet: the template's COM1 to COM9
    }
    const int count = static_cast<int>(items.size());
    while (portList->count() < count) {
        portList->addItem(QString());
    }
    while (portList->count() > count && portList->currentIndex() < portList->count() - 1) {
        portList->removeItem(portList->count() - 1);
    }
    const QFontMetrics metrics(portList->view()->font());
    int widest = 0;
    for (int i = 0; i < count; ++i) {
        const PortListItem& item = items[static_cast<std::size_t>(i)];
        const QString text =
            QString::fromStdString(dropped ? item.text : "COM" + std::to_string(item.number));
        portList->setItemText(i, text);
        widest = std::max(widest, metrics.horizontalAdvance(text));
    }
    if (dropped) {
        portList->view()->setMinimumWidth(
            widest + 2 * metrics.averageCharWidth() +
            portList->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    }
}

void CDownloaderDlg::OnOpenDataFile() {
    const std::optional<QString> chosen = toolkit::FileOpenDialog(this);
    if (!chosen) {
        return;
    }
    // The dialog's paths use '/' on every platform; the user reads the
    // platform's own separators.
    dataFilePath = QDir::toNativeSeparators(*chosen);
    Item<QLineEdit>(IDC_FILE_PATH)->setText(dataFilePath);
}

void CDownloaderDlg::OnHelp() {
    toolkit::ShellOpen(
        QString::fromStdString(window::HelpPagePath(toolkit::ProgramFilePath().toStdString())));
}

void CDownloaderDlg::OnHome() {
    toolkit::ShellOpen(toolkit::HomeAddress());
}

void CDownloaderDlg::OnCancel() {
    const window::QuitQuestion question = wiring_.QuitQuestionNow();
    const int answer = toolkit::MessageBox(
        this,
        {QString::fromUtf8(question.text.data(), static_cast<qsizetype>(question.text.size())),
         QString::fromLatin1(window::kQuitCaption.data(),
                             static_cast<qsizetype>(window::kQuitCaption.size())),
         toolkit::MessageButtons::YesNo, toolkit::MessageIcon::Question,
         question.defaultYes ? toolkit::IDYES : toolkit::IDNO});
    if (answer == toolkit::IDYES) {
        wiring_.OnClosing();
        EndDialog(toolkit::IDCANCEL);
    }
}

void CDownloaderDlg::OnSysCommand(unsigned id, long param) {
    if ((id & 0xFFF0U) == static_cast<unsigned>(IDM_ABOUTBOX)) {
        CAboutDlg about(this);
        about.DoModal();
    } else if ((id & 0xFFF0U) == static_cast<unsigned>(IDM_REPORTS)) {
        const std::filesystem::path folder = window::CDownloaderWiring::PrepareReportsFolder();
        if (!folder.empty()) {
            const std::u8string path = folder.u8string();
            toolkit::ShellOpen(QString::fromUtf8(reinterpret_cast<const char*>(path.data()),
                                                 static_cast<qsizetype>(path.size())));
        }
    } else if ((id & 0xFFF0U) == static_cast<unsigned>(IDM_NIGHT)) {
        ShowLook(window::ChooseOtherLook(toolkit::CurrentLook()));
    } else {
        CDialog::OnSysCommand(id, param);
    }
}

void CDownloaderDlg::ShowLook(drawing::Look look) {
    // The palette reaches every widget of Qt's own and the controls that
    // read the colours as they paint; the bar and the icon buttons keep the
    // colours they were given until they are given others.
    toolkit::SetLook(look);
    nightItem_->setChecked(look == drawing::Look::kNight);
    progressBar->SetColors(toolkit::SystemColors());
    helpButton->ResetColors(true);
    homeButton->ResetColors(true);
    update();
}

void CDownloaderDlg::OnTimer(int id) {
    if (id == kKeepAwakeTimer) {
        KillTimer(kKeepAwakeTimer);  // it runs out once
        keepAwake_.OnSilence();
        return;
    }
    wiring_.OnTimer();
}

void CDownloaderDlg::paintEvent(QPaintEvent* event) {
    if (isMinimized()) {
        QPainter painter(this);
        const int side = style()->pixelMetric(QStyle::PM_LargeIconSize);
        const QPoint at = MinimisedIconPosition(size(), QSize(side, side));
        if (toolkit::CurrentLook() == drawing::Look::kNight) {
            painter.drawPixmap(QRect(at, QSize(side, side)),
                               toolkit::PictureForLook(windowIcon.pixmap(side)));
        } else {
            windowIcon.paint(&painter, QRect(at, QSize(side, side)));
        }
        return;
    }
    CDialog::paintEvent(event);
}

QPoint MinimisedIconPosition(QSize client, QSize icon) {
    return QPoint((client.width() - icon.width() + 1) / 2,
                  (client.height() - icon.height() + 1) / 2);
}

QString CDownloaderDlg::LogText() const {
    QString text = logBox->toPlainText();
    if (!text.isEmpty()) {
        text += QLatin1Char('\n');  // the box holds lines; each ended in CR LF
    }
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void CDownloaderDlg::ClearLog() {
    QTextCursor cursor = logBox->textCursor();
    cursor.select(QTextCursor::Document);
    logBox->setTextCursor(cursor);
    logBox->ensureCursorVisible();
    logBox->textCursor().removeSelectedText();
}

void CDownloaderDlg::AppendLog(std::string_view text) {
    // The box shows lines; the message's own line end becomes the break
    // before the next message.
    // UTF-8, like every engine text: a finding quotes the catalogue's own
    // characters.
    QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (line.endsWith(QStringLiteral("\r\n"))) {
        line.chop(2);
    }
    QTextCursor cursor = logBox->textCursor();
    cursor.clearSelection();
    cursor.movePosition(QTextCursor::End);
    if (!logBox->document()->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(line);
    logBox->setTextCursor(cursor);
    logBox->ensureCursorVisible();
}

void CDownloaderDlg::SetStartStopCaption(std::string_view caption) {
    startStopButton->setText(
        QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
}

void CDownloaderDlg::EnableOpenButton(bool enable) {
    openButton->setEnabled(enable);
}

std::filesystem::path CDownloaderDlg::DataFilePath() const {
    return std::filesystem::path(dataFilePath.toStdU16String());
}

void CDownloaderDlg::SetProgressRange(int lower, int upper) {
    progressBar->SetRange(lower, upper);
}

void CDownloaderDlg::SetProgressPos(int pos) {
    progressBar->SetPos(pos);
}

bool CDownloaderDlg::AskQuestion(std::string_view question) {
    return toolkit::MessageBox(
               this, {QString::fromUtf8(question.data(), static_cast<qsizetype>(question.size())),
                      windowTitle(), toolkit::MessageButtons::YesNo, toolkit::MessageIcon::Question,
                      toolkit::IDNO}) == toolkit::IDYES;
}

void CDownloaderDlg::ReportPortFailure(std::string_view errorText) {
    const std::string message = PortFailureMessage(errorText, SurveyUsbSerial());
    toolkit::MessageBox(
        this, {QString::fromStdString(message), windowTitle(), toolkit::MessageButtons::Ok,
               toolkit::MessageIcon::Stop, toolkit::IDOK});
}

}  // namespace velmoro
