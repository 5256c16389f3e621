// The engine in the page: the port face over Web Serial and the window face
// over the page's controls, both carried out by page.js, and the entry
// points the page calls from its event loop (clicks, the 100 ms timer, the
// port's reader). The port's set-up and the guards' questions wait for the
// browser without blocking it: the engine's call is suspended (Asyncify)
// until the promise settles, and the page calls into the engine meanwhile
// for nothing.

#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "catalog.h"
#include "commands.h"
#include "dialog_ids.h"
#include "draw_list_player.h"
#include "front_end.h"
#include "hover_button_drawing.h"
#include "icon_button_drawing.h"
#include "keep_awake.h"
#include "no_port.h"
#include "palette.h"
#include "percent_progress.h"
#include "transfer.h"
#include "transfer_report.h"
#include "usb_serial_chips.h"
#include "velmoro_version.h"

namespace velmoro::web {

namespace {

// Every call returns a promise the engine's call waits for.
// clang-format off
EM_ASYNC_JS(int, JsPreparePort, (), { return await Module.velmoroPage.preparePort(); });
EM_ASYNC_JS(int, JsAskQuestion, (const char* question), {
    return await Module.velmoroPage.ask(UTF8ToString(question));
});

EM_JS(int, JsTakeTextLength, (), { return lengthBytesUTF8(Module.velmoroPage.text); });
EM_JS(void, JsTakeText, (char* out, int size), {
    stringToUTF8(Module.velmoroPage.text, out, size);
});
EM_JS(int, JsPortOpen, (), { return Module.velmoroPage.portOpen() ? 1 : 0; });
EM_JS(void, JsWrite, (const std::uint8_t* bytes, int count), {
    Module.velmoroPage.write(HEAPU8.slice(bytes, bytes + count));
});
EM_JS(int, JsCommEvent, (), { return Module.velmoroPage.commEvent; });
EM_JS(void, JsPutLossReason, (), {
    Module.velmoroPage.text = Module.velmoroPage.lossReason || "";
});
// The page's account of its port and browser for a report: "Name: value"
// lines.
EM_JS(void, JsPutReportFacts, (), {
    Module.velmoroPage.text = Module.velmoroPage.reportFacts();
});
EM_JS(void, JsSetReport, (const char* text, int size), {
    Module.velmoroPage.setReport(UTF8ToString(text, size));
});
EM_JS(int, JsInputLength, (), { return Module.velmoroPage.inputLength(); });
EM_JS(void, JsTakeInput, (std::uint8_t* out, int count), {
    HEAPU8.set(Module.velmoroPage.takeInput(count), out);
});

EM_JS(void, JsClearLog, (), { Module.velmoroPage.clearLog(); });
EM_JS(void, JsAppendLog, (const char* text, int size), {
    Module.velmoroPage.appendLog(UTF8ToString(text, size));
});
EM_JS(void, JsSetCaption, (const char* text, int size), {
    Module.velmoroPage.setStartStopCaption(UTF8ToString(text, size));
});
EM_JS(void, JsEnableOpen, (int enable), { Module.velmoroPage.enableOpen(enable !== 0); });
EM_JS(void, JsStartTimer, (int periodMs), { Module.velmoroPage.startTimer(periodMs); });
EM_JS(void, JsStopTimer, (), { Module.velmoroPage.stopTimer(); });
EM_JS(void, JsRepaintProgress, (), { Module.velmoroPage.repaintProgress(); });
// Start and Stop have run to their end, whether they waited or not.
EM_JS(void, JsStartStopDone, (), { Module.velmoroPage.startStopDone(); });
EM_JS(void, JsReportPortFailure, (const char* text, int size), {
    Module.velmoroPage.reportPortFailure(UTF8ToString(text, size));
});
EM_JS(void, JsStartKeepAwakeTimer, (int periodMs), {
    Module.velmoroPage.startKeepAwakeTimer(periodMs);
});
EM_JS(void, JsStopKeepAwakeTimer, (), { Module.velmoroPage.stopKeepAwakeTimer(); });
// clang-format on

std::string TakeText() {
    std::string text(static_cast<std::size_t>(JsTakeTextLength()) + 1, '\0');
    JsTakeText(text.data(), static_cast<int>(text.size()));
    text.resize(text.size() - 1);
    return text;
}

class CWebPortFace : public IPortFace {
public:
    bool PreparePort(std::string& errorText) override {
        if (JsPreparePort() != 0) {
            return true;
        }
        errorText = TakeText();
        return false;
    }
    bool GetPortOpen() const override { return JsPortOpen() != 0; }
    void SetOutput(std::string_view text) override {
        JsWrite(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
    }
    void SetOutput(std::span<const std::uint8_t> bytes) override {
        JsWrite(bytes.data(), static_cast<int>(bytes.size()));
    }
    int GetCommEvent() const override { return JsCommEvent(); }
    std::vector<std::uint8_t> GetInput() override {
        std::vector<std::uint8_t> input(static_cast<std::size_t>(JsInputLength()));
        if (!input.empty()) {
            JsTakeInput(input.data(), static_cast<int>(input.size()));
        }
        return input;
    }
    std::string LossReason() const override {
        JsPutLossReason();
        return TakeText();
    }
};

class CWebWindowFace : public IWindowFace {
public:
    void ClearLog() override { JsClearLog(); }
    void AppendLog(std::string_view text) override {
        JsAppendLog(text.data(), static_cast<int>(text.size()));
    }
    void SetStartStopCaption(std::string_view caption) override {
        caption_ = caption;
        JsSetCaption(caption.data(), static_cast<int>(caption.size()));
    }
    void EnableOpenButton(bool enable) override { JsEnableOpen(enable ? 1 : 0); }
    void StartBeaconTimer(int periodMs) override { JsStartTimer(periodMs); }
    void StopBeaconTimer() override { JsStopTimer(); }
    std::filesystem::path DataFilePath() const override { return dataFile_; }
    UpdateType GetUpdateType() const override { return updateType_; }
    void SetProgressRange(int lower, int upper) override {
        progress_.SetRange(lower, upper);
        JsRepaintProgress();
    }
    void SetProgressPos(int pos) override {
        progress_.SetPos(pos, progressWidth_);
        JsRepaintProgress();
    }
    void ReportPortFailure(std::string_view errorText) override {
        JsReportPortFailure(errorText.data(), static_cast<int>(errorText.size()));
    }
    bool AskQuestion(std::string_view question) override {
        return JsAskQuestion(std::string(question).c_str()) != 0;
    }
    // The reporter hands the page the report.
    void TransferEnded(const TransferEnd&) override {}

    std::string caption_{velmoro::texts::kStartCaption};
    std::filesystem::path dataFile_;
    UpdateType updateType_ = UpdateType::MainProgram;
    drawing::CPercentProgress progress_{SystemColors()};
    int progressWidth_ = 0;
};

// The silence after which the screen may sleep, on the page's own clock.
class CWebKeepAwakeTimer : public IKeepAwakeTimer {
public:
    void StartKeepAwakeTimer(std::chrono::milliseconds period) override {
        JsStartKeepAwakeTimer(static_cast<int>(period.count()));
    }
    void StopKeepAwakeTimer() override { JsStopKeepAwakeTimer(); }
};

ReportContext PageReportContext() {
    ReportContext context;
    context.program = std::string("velmoro-downloader-web ") + build::kVersionLine;
    JsPutReportFacts();
    const std::string facts = TakeText();
    std::size_t from = 0;
    while (from < facts.size()) {
        std::size_t end = facts.find('\n', from);
        if (end == std::string::npos) {
            end = facts.size();
        }
        const std::string line = facts.substr(from, end - from);
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::string value = line.substr(colon + 2);
            if (name == "System") {
                context.system = std::move(value);
            } else {
                context.port.emplace_back(std::move(name), std::move(value));
            }
        }
        from = end + 1;
    }
    context.lineSettings = DescribeLineSettings(kLineSettings);
    return context;
}

struct CPage {
    CWebPortFace port;
    CWebWindowFace window;
    CTransferReporter reporter{window, PageReportContext,
                               [](const std::string& report, const TransferEnd&) {
                                   JsSetReport(report.data(), static_cast<int>(report.size()));
                               }};
    CTransferEngine engine{port, reporter};
    // The screen kept on while a transfer runs, by the desktop programs'
    // rule: not through a controller's silence.
    CWebKeepAwakeTimer keepAwakeTimer;
    CKeepAwake keepAwake{keepAwakeTimer};

    void FollowTransfer(bool bytesReceived = false) {
        keepAwake.Follow(engine.State().busy, bytesReceived);
    }
};

CPage& Page() {
    static CPage page;
    return page;
}

}  // namespace

}  // namespace velmoro::web

using velmoro::web::Page;

extern "C" {

// fileState: 0 read, 1 unreadable, 2 larger than the page reads. A file
// the page could not read never reaches the port: the click ends with the
// log line the engine gives such a file.
EMSCRIPTEN_KEEPALIVE void velmoro_start_stop(int fileState) {
    auto& page = Page();
    if (!page.engine.State().busy && fileState != 0) {
        // Refused before the engine's Start, and reported as the engine's
        // refusals are.
        const bool tooLarge = fileState == 2;
        const std::string_view line =
            tooLarge ? velmoro::texts::kDataFileTooLarge : velmoro::texts::kUnreadableDataFile;
        page.reporter.ClearLog();
        page.reporter.AppendLog(line);
        velmoro::TransferEnd end;
        end.ending = velmoro::Ending::Refused;
        end.refusal = tooLarge ? velmoro::Refusal::FileTooLarge : velmoro::Refusal::UnreadableFile;
        end.detail = line;
        end.file.path = page.window.dataFile_.string();
        page.reporter.TransferEnded(end);
    } else {
        page.engine.OnStartStop();
    }
    page.FollowTransfer();
    velmoro::web::JsStartStopDone();
}

EMSCRIPTEN_KEEPALIVE void velmoro_beacon_timer() {
    auto& page = Page();
    page.engine.OnBeaconTimer();
    page.FollowTransfer();
}

EMSCRIPTEN_KEEPALIVE void velmoro_comm_event() {
    auto& page = Page();
    const bool received = page.port.GetCommEvent() == velmoro::kCommEventReceive;
    page.engine.OnCommEvent();
    page.FollowTransfer(received);
}

// The controller has been silent for the keep-awake period.
EMSCRIPTEN_KEEPALIVE void velmoro_keep_awake_silence() {
    Page().keepAwake.OnSilence();
}

// The browser shows nothing of the adapters that give it no port: when the
// chooser closed with none chosen and none granted before, what to do is
// the same words a desktop says when it sees no adapter. The page keeps the
// string until the next call.
EMSCRIPTEN_KEEPALIVE const char* velmoro_no_port_advice() {
    static std::string advice;
    advice =
        velmoro::PortFailureMessage({}, velmoro::UsbSurvey{.place = velmoro::DriverPlace::Browser});
    advice.erase(0, advice.find_first_not_of('\n'));
    return advice.c_str();
}

EMSCRIPTEN_KEEPALIVE int velmoro_busy() {
    return Page().engine.State().busy ? 1 : 0;
}

// Whether leaving the page now should have the browser ask first.
EMSCRIPTEN_KEEPALIVE int velmoro_asks_before_leaving() {
    return velmoro::window::AsksBeforeClosing(velmoro::window::kBrowserPage,
                                              Page().engine.State().busy)
               ? 1
               : 0;
}

// The readable name of a USB-serial adapter, empty when not known; the
// pointer stays good until the next call.
EMSCRIPTEN_KEEPALIVE const char* velmoro_usb_serial_name(int vendorId, int productId) {
    static std::string name;
    name = velmoro::UsbSerialName(static_cast<std::uint16_t>(vendorId),
                                  static_cast<std::uint16_t>(productId));
    return name.c_str();
}

EMSCRIPTEN_KEEPALIVE double velmoro_max_file_bytes() {
    // A file the page would have to hold whole in memory beyond the limit
    // is not read at all.
    return static_cast<double>(velmoro::kMaxDataFileBytes);
}

// A click on the radio button with this id.
EMSCRIPTEN_KEEPALIVE void velmoro_update_type_clicked(int id) {
    auto& window = Page().window;
    window.updateType_ = velmoro::window::UpdateTypeOf(id).value_or(window.updateType_);
}

EMSCRIPTEN_KEEPALIVE void velmoro_set_data_file(const char* name) {
    Page().window.dataFile_ = name;
}

// The catalogue check of the command line, its output through the page's
// print; returns its exit code.
EMSCRIPTEN_KEEPALIVE int velmoro_check(const char* name, int show) {
    const int code = velmoro::RunCheck(name, show != 0);
    std::fflush(stdout);
    std::fflush(stderr);
    return code;
}

// The blocks a catalogue download would send, every payload in order, into
// the file output; the reason in the page's print when the catalogue cannot
// go. Returns the number of blocks, or -1.
EMSCRIPTEN_KEEPALIVE int velmoro_convert(const char* name, const char* output) {
    velmoro::FileBytes bytes;
    const velmoro::CatalogPlan plan = velmoro::PlanCatalogFile(name, bytes);
    if (!plan.fits) {
        std::printf("%s: %s", name,
                    plan.errorText.empty() ? "cannot read it\n" : plan.errorText.c_str());
        std::fflush(stdout);
        return -1;
    }
    std::FILE* out = std::fopen(output, "wb");
    if (out == nullptr) {
        return -1;
    }
    const int blocks = velmoro::ConvertCatalog(
        bytes,
        [out](std::uint32_t, const velmoro::CatalogBlockInfo&, const velmoro::Payload& payload) {
            std::fwrite(payload.data(), 1, payload.size(), out);
        });
    std::fclose(out);
    return blocks;
}

// The drawn controls, on the canvas the page has named: the percent bar,
// the icon buttons (Help, Home) and the hover buttons (the rest). state:
// the kState bits of the draw request.
EMSCRIPTEN_KEEPALIVE void velmoro_paint(int control, int width, int height, int hover,
                                        unsigned state, const char* caption) {
    using namespace velmoro::drawing;
    auto& window = Page().window;
    DrawList list;
    const Rect item{0, 0, width, height};
    const CSystemColors colors = velmoro::web::SystemColors();
    const velmoro::web::CCanvasTextMetrics metrics;
    namespace ids = velmoro::ids;
    if (control == ids::IDC_PROGRESS) {
        if (window.progressWidth_ != width) {
            window.progressWidth_ = width;
            window.progress_.ForgetBarWidth();
            window.progress_.SetPos(window.progress_.Pos(), width);
        }
        list.push_back(FillRectOp{item, colors[SysColor::kBtnFace]});
        window.progress_.Draw(list, item);
    } else if (control == ids::IDC_HELP_BUTTON || control == ids::IDC_HOME_BUTTON) {
        IconButtonLook look;
        look.item = item;
        look.clientWidth = width;
        look.caption = caption;
        look.state = state;
        look.flat = false;
        look.hover = hover != 0;
        look.colours = DefaultIconButtonColors(colors);
        look.icons[0] = Size{16, 16};
        DrawIconButton(list, metrics, colors, look);
    } else {
        HoverButtonLook look;
        look.item = item;
        look.caption = caption;
        look.hover = hover != 0;
        look.state = state;
        DrawHoverButton(list, metrics, colors, look);
    }
    velmoro::web::Play(list);
}

// The page's look, day or night. The drawn controls take its colours when
// they are next painted; the bar keeps the colours it was made with, so it
// is made again as it stands.
EMSCRIPTEN_KEEPALIVE void velmoro_set_night(int night) {
    using velmoro::drawing::CPercentProgress;
    velmoro::web::SetLook(night != 0 ? velmoro::drawing::Look::kNight
                                     : velmoro::drawing::Look::kDay);
    auto& window = Page().window;
    CPercentProgress progress{velmoro::web::SystemColors()};
    progress.SetRange(window.progress_.Lower(), window.progress_.Upper());
    progress.SetPos(window.progress_.Pos(), window.progressWidth_);
    progress.SetDisplayText(window.progress_.DisplayText());
    window.progress_ = progress;
}

// The night palette for the page's plain elements (its background, texts,
// boxes, buttons, the message box): a CSS custom property for each system
// colour role, "--night-window:#000000;--night-window-text:#b00000;...".
EMSCRIPTEN_KEEPALIVE const char* velmoro_night_css() {
    using velmoro::drawing::SysColor;
    static constexpr std::pair<SysColor, const char*> kNames[] = {
        {SysColor::kMenu, "menu"},
        {SysColor::kWindow, "window"},
        {SysColor::kMenuText, "menu-text"},
        {SysColor::kWindowText, "window-text"},
        {SysColor::kHighlight, "highlight"},
        {SysColor::kHighlightText, "highlight-text"},
        {SysColor::kBtnFace, "btn-face"},
        {SysColor::kBtnShadow, "btn-shadow"},
        {SysColor::kGrayText, "gray-text"},
        {SysColor::kBtnText, "btn-text"},
        {SysColor::kBtnHighlight, "btn-highlight"},
        {SysColor::k3dDkShadow, "3d-dk-shadow"},
        {SysColor::k3dLight, "3d-light"},
    };
    static std::string css;
    css.clear();
    const velmoro::drawing::CSystemColors night = velmoro::drawing::NightColors();
    for (const auto& [role, name] : kNames) {
        const velmoro::drawing::Rgb rgb = night[role].rgb;
        char value[8];
        std::snprintf(value, sizeof value, "#%02x%02x%02x", rgb.red, rgb.green, rgb.blue);
        css += std::string("--night-") + name + ":" + value + ";";
    }
    return css.c_str();
}

// A picture's pixel (the page's icons) at night, 0xAARRGGBB.
EMSCRIPTEN_KEEPALIVE std::uint32_t velmoro_night_picture_pixel(std::uint32_t argb) {
    return velmoro::drawing::NightPicturePixel(argb);
}

// What the percent bar shows ("42%"), for the page to tell assistive
// technology; empty while the range draws nothing. Good until the next call.
EMSCRIPTEN_KEEPALIVE const char* velmoro_progress_text() {
    static std::string text;
    const auto& progress = Page().window.progress_;
    text = progress.HasDrawableRange() ? progress.TextToDraw() : std::string();
    return text.c_str();
}

}  // extern "C"

int main() {
    // The page's files live in /data; the check names them as the user did.
    std::filesystem::create_directories("/data");
    if (chdir("/data") != 0) {
        return 1;
    }
    return 0;
}
