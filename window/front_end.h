#pragma once

// What the main window does on one front end and not on another, said once
// for all of them, and what they all do the same with no port in it.
//
// The desktop programs (Qt and Win32) put the About box in the window's
// system menu and ask their own quit question whenever the window closes.
// The browser page has neither: a page has no system menu, and it cannot
// hold its tab open with a question of its own, so the browser asks its own
// leave-page question instead, and only while a transfer runs (closing an
// idle page costs nothing).

#include <optional>
#include <string_view>

#include "dialog_ids.h"
#include "faces.h"

namespace velmoro::window {

// Asked when the user closes the main window while no transfer runs; Yes,
// the default, ends the program.
inline constexpr std::string_view kQuitQuestion =
    "Are you sure you want to quit Velmoro Downloader V2.0?";
// Asked instead while a transfer runs. Quitting then stops the transfer
// part-way, which a quick Escape and Enter must not do: No is the default.
inline constexpr std::string_view kQuitDuringTransferQuestion =
    "A download is running. Quitting now stops it part-way, and may leave the controller "
    "without a working program.\n\nAre you sure you want to quit Velmoro Downloader V2.0?";
inline constexpr std::string_view kQuitCaption = "Message";

// The quit question a desktop program asks, and its default button.
struct QuitQuestion {
    std::string_view text;
    bool defaultYes = true;
};

constexpr QuitQuestion QuitQuestionFor(bool transferRunning) {
    return transferRunning ? QuitQuestion{kQuitDuringTransferQuestion, false}
                           : QuitQuestion{kQuitQuestion, true};
}

enum class CloseQuestion {
    Quit,              // kQuitQuestion in the program's own message box
    BrowserLeavePage,  // the browser's own question, while a transfer runs
};

struct FrontEnd {
    bool aboutBox = false;  // the About box (IDD_ABOUTBOX) from the system menu
    CloseQuestion closeQuestion = CloseQuestion::Quit;
};

inline constexpr FrontEnd kDesktopProgram{.aboutBox = true, .closeQuestion = CloseQuestion::Quit};
inline constexpr FrontEnd kBrowserPage{.aboutBox = false,
                                       .closeQuestion = CloseQuestion::BrowserLeavePage};

// Whether closing the window now asks first.
constexpr bool AsksBeforeClosing(const FrontEnd& frontEnd, bool transferRunning) {
    return frontEnd.closeQuestion == CloseQuestion::Quit || transferRunning;
}

// The update type the radio button with this id chooses; none for any other
// control.
std::optional<UpdateType> UpdateTypeOf(int controlId);

}  // namespace velmoro::window
