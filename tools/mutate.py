#!/usr/bin/env python3
"""Mutation testing of the code users run: the engine, the serial layer, the
window's shared code, the command line, the drawing rules and the simulated
controller as the Linux build runs them; win32/ as the Windows build runs it,
under Wine; web/ as the page runs it, in headless Chromium. Plants one small
fault at a time, rebuilds, runs the tests that can see it (fast ones first,
stopping at the first failure) and reports every fault that no test caught,
with a score per folder.

    tools/mutate.py [--seed N] [--sample N | --all] [--folder DIR/]... [--only PATH[:LINE]]
                    [--list]

--folder keeps a run to the files under one folder (given more than once,
to several), so that a sample of a folder can be run on its own: a sample of
30 from win32/ or web/ takes about an hour here.

It works on a copy of the sources in build-mutate/src (the working tree is
never touched), builds in build-mutate/build (Linux), build-mutate/windows
(MinGW-w64) and build-mutate/web (emscripten), and writes
build-mutate/mutants.txt (every planted fault) and build-mutate/results.txt
(each with its outcome). A fault whose object code is the same as the
original's (code another platform compiles, or an equivalent the optimiser
sees through) is not run: it cannot change what the program does here.
The Windows stages run in a Wine prefix of their own (tests/wine/wine_env.sh),
made for the run and removed after it.
"""

import argparse
import hashlib
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build-mutate"
SRC = WORK / "src"
BUILD = WORK / "build"

# The build trees: where each is, how it is configured, and the objcopy that
# strips its objects (None: its objects are not compared).
TREES = {
    "linux": (BUILD, ["cmake"], ["-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVELMORO_BUILD_TESTS=ON",
                                 "-DVELMORO_BUILD_BENCH=OFF", "-DVELMORO_WERROR=OFF"], "objcopy"),
    "windows": (WORK / "windows", ["cmake"],
                ["-DCMAKE_TOOLCHAIN_FILE=%s" % (SRC / "cmake/mingw-w64-x86_64.cmake"),
                 "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DVELMORO_BUILD_TESTS=ON",
                 "-DVELMORO_WERROR=OFF"], "x86_64-w64-mingw32-objcopy"),
    "web": (WORK / "web", ["emcmake", "cmake"],
            ["-DCMAKE_BUILD_TYPE=Release", "-DVELMORO_BUILD_TESTS=OFF", "-DVELMORO_BUILD_BENCH=OFF",
             "-DVELMORO_WERROR=OFF"], None),
}
WINDOWS = TREES["windows"][0]
WEB = TREES["web"][0]


class Stage:
    """A test stage: the targets it needs built in its tree; what it runs (a
    CTest name pattern in that tree, or a command); how long a test of it may
    take before a hang counts as caught; whether its tests depend on timing
    (a failure there is tried again); and the Linux targets its command
    needs beside the tree's (built once, unchanged)."""

    def __init__(self, targets, tests, timeout, timed, tree="linux", helpers=(), env=None):
        self.targets, self.tests, self.timeout, self.timed = targets, tests, timeout, timed
        self.tree, self.helpers, self.env = tree, list(helpers), env or {}


# Test stages, fastest first.
STAGES = {
    "unit": Stage(["velmoro_engine_tests"],
                  r"^(TransferTest|WholeTransfer|Images/FirmwareSizes|RealField|CatalogRecord"
                  r"|LineReader|CatalogPayload|PlanCatalog|CatalogLineCheck|Utf8|Crc8|DataBlock"
                  r"|BlockText|SectorText|ReportTest|Sha256Test)\.",
                  10, False),
    "serial": Stage(["velmoro_serial_tests"], r"^(MSComm|SerialPortFace)\.", 20, False),
    "doctor": Stage(["velmoro_doctor_tests"], r"^Doctor", 30, True),
    "pty": Stage(["velmoro_hc_sim_tests", "velmoro_cli_e2e_tests"],
                 r"^(HcSim|HcModel|Options/Faults|Sizes/FirmwareOverPty|CatalogOverPty"
                 r"|FaultsOverPty|CliUsage|CliConvert|CliCheck)\.", 60, True),
    "window": Stage(["velmoro_shell_tests"], r"^(WindowTest|MinimisedIcon)\.", 60, True),
    # The command line's own checks: usage, conversion and the catalogue
    # check, the port doctor and what it advises.
    "cli": Stage(["velmoro_cli_e2e_tests", "velmoro_doctor_tests"],
                 r"^(CliUsage|CliConvert|CliCheck|FaultsOverPty|Doctor|NoPortAdvice)", 60, True),
    # The drawing rules, by themselves and as the Qt controls play them.
    "drawing": Stage(["velmoro_drawing_tests", "velmoro_controls_tests"],
                     r"^(PercentProgress|HoverButton|IconButton|OwnerDrawMenu|NightLook"
                     r"|PainterPlayer)", 30, False),
    # The computer kept awake: the desktop program's and the command line's
    # locks against a stand-in for logind, and the window scenarios that
    # end a transfer or leave the controller silent.
    "awake": Stage(["velmoro_shell_tests"],
                   r"^(KeepAwake\.|WindowTest\.SleepIs|Scenarios/WindowScenario\.PlaysAsWritten/"
                   r"(FinishedTransfer|StopEndsTheTransfer|SilentController|ErrorReplyEnds"
                   r"|LostPortEnds))", 60, True),
    # A sample of the fault matrix: every state's error reply for images,
    # the first and the last of the catalogue's, and every other kind whole.
    "matrix": Stage(["velmoro_fault_matrix_tests"],
                    r"^Matrix(ErrorReply/CliFault\.EndsAsStated/(Main_|Catalog_ErrorInsteadOfReply"
                    r"(001|002|003|004|005|139|140|141|142|143))|SplitReply/CliFault\.EndsAsStated/"
                    r"(Main|Catalog)_SplitAt(01|08|15)|ExtraByte/|HangUp/|CtrlC/|Window/)", 60, True),
    # The Windows build under Wine: its serial back-end against drivers that
    # misbehave and its dialogs, drawing and window scenarios in the test's
    # own process; then the command-line program and the desktop program,
    # each against the simulator through Wine's COM1.
    "win32": Stage(["velmoro_win32_serial_tests", "velmoro_win32_tests"],
                   r"^(SerialTestsUnderWine|DesktopTestsUnderWine)$", 240, True, tree="windows"),
    "wine-cli": Stage(["velmoro-downloader-cli"],
                      [str(BUILD / "tests/velmoro_wine_e2e_tests"), "--gtest_brief=1"], 600, True,
                      tree="windows", helpers=["velmoro_wine_e2e_tests"],
                      env={"VELMORO_WINDOWS_CLI": str(WINDOWS / "win32/velmoro-downloader-cli.exe")}),
    "wine-desktop": Stage(["velmoro-downloader"],
                          [str(BUILD / "tests/velmoro_wine_desktop_tests"), "--gtest_brief=1"],
                          900, True, tree="windows", helpers=["velmoro_wine_desktop_tests"],
                          env={"VELMORO_WINDOWS_DESKTOP":
                               str(WINDOWS / "win32/velmoro-downloader.exe")}),
    # The page in headless Chromium with the Web Serial stand-in, against
    # the simulator of the Linux build.
    "page": Stage(["velmoro_site"],
                  ["/usr/bin/python3", str(ROOT / "tests/web/page_test.py"), str(WEB / "site"),
                   str(BUILD / "sim/velmoro-hc-sim"), str(BUILD / "qt/velmoro-downloader-cli"), "-f"],
                  600, True, tree="web", helpers=["velmoro-hc-sim", "velmoro-downloader-cli"]),
}

# Files planted in, the stages that can see them, and (optionally) the one
# function a file is planted in. The Windows back-ends of serial/ are not
# built here; tests/wine/suite.sh runs their tests under Wine.
FILES = {
    "engine/transfer.cpp": (["unit", "pty", "window", "matrix"], None),
    "engine/catalog.cpp": (["unit", "pty"], None),
    "engine/data_block.cpp": (["unit", "pty"], None),
    "engine/data_file.cpp": (["unit", "pty"], None),
    "engine/preflight.cpp": (["unit", "pty", "window"], None),
    "engine/keep_awake.cpp": (["awake"], None),
    "engine/transfer_end.cpp": (["unit", "matrix"], None),
    "engine/transfer_report.cpp": (["unit", "matrix"], None),
    "engine/sha256.cpp": (["unit"], None),
    "engine/data_block.h": (["unit", "pty"], None),
    "engine/catalog.h": (["unit", "pty"], None),
    "engine/data_file.h": (["unit", "pty"], None),
    "serial/ms_comm.cpp": (["serial", "pty", "window", "matrix"], None),
    "qt/serial_backend.cpp": (["serial", "pty", "window", "matrix"], None),
    "serial/port_names.cpp": (["serial", "doctor", "pty", "window"], None),
    "qt/port_listing.cpp": (["serial", "doctor", "pty", "window"], None),
    "serial/serial_port_face.cpp": (["serial", "pty", "window", "matrix"], None),
    "serial/usb_serial_chips.cpp": (["serial", "doctor", "window"], None),
    "serial/no_port.cpp": (["doctor", "cli", "window"], None),
    "serial/report_facts.cpp": (["unit", "serial", "cli", "matrix"], None),
    "window/main_window.cpp": (["window", "matrix"], None),
    "window/look.cpp": (["drawing", "window"], None),
    "window/front_end.cpp": (["window", "matrix"], None),
    "cli/arguments.cpp": (["cli", "pty", "matrix"], None),
    "cli/check_command.cpp": (["cli"], None),
    "cli/convert_command.cpp": (["cli"], None),
    "cli/cli_window.cpp": (["cli", "pty", "matrix"], None),
    "cli/download_command.cpp": (["cli", "pty", "matrix", "awake"], None),
    "cli/doctor.cpp": (["cli"], None),
    "cli/doctor_report.cpp": (["cli"], None),
    "cli/ports_command.cpp": (["cli"], None),
    "cli/reports_command.cpp": (["cli", "matrix"], None),
    "drawing/draw_list.cpp": (["drawing", "window"], None),
    "drawing/hover_button_drawing.cpp": (["drawing", "window"], None),
    "drawing/icon_button_drawing.cpp": (["drawing", "window"], None),
    "drawing/icon_button_state.cpp": (["drawing", "window"], None),
    "drawing/owner_draw_menu_drawing.cpp": (["drawing"], None),
    "drawing/percent_progress.cpp": (["drawing", "window"], None),
    "drawing/palette.cpp": (["drawing", "window"], None),
    # The simulated controller: the model the tests and benchmarks load
    # through, and the options they start it with.
    "sim/hc_model.cpp": (["unit", "pty", "matrix"], None),
    "sim/pty_controller.cpp": (["pty", "matrix"], None),
    "sim/hc_sim_main.cpp": (["pty", "matrix"], None),
    "sim/transfer_figures.cpp": (["pty", "matrix"], None),
    "sim/loopback_rig.cpp": (["unit"], None),
    # The Windows programs: the serial back-end, the command line's loop and
    # probes, the dialogs and controls.
    "win32/comm_api.cpp": (["win32", "wine-cli"], None),
    "win32/serial_backend.cpp": (["win32", "wine-cli"], None),
    "win32/port_listing.cpp": (["win32", "wine-cli"], None),
    "win32/usb_survey.cpp": (["win32", "wine-cli"], None),
    "win32/report_facts.cpp": (["win32", "wine-cli"], None),
    "win32/doctor_probes.cpp": (["win32", "wine-cli"], None),
    "win32/cli_main.cpp": (["wine-cli"], None),
    "win32/event_loop.cpp": (["wine-cli"], None),
    "win32/platform.cpp": (["win32", "wine-desktop"], None),
    "win32/keep_awake.cpp": (["win32", "wine-desktop"], None),
    "win32/look_store.cpp": (["win32", "wine-desktop"], None),
    "win32/about_dialog.cpp": (["win32"], None),
    "win32/dialog.cpp": (["win32", "wine-desktop"], None),
    "win32/downloader_dialog.cpp": (["win32", "wine-desktop"], None),
    "win32/downloader_app.cpp": (["wine-desktop"], None),
    "win32/draw_list_player.cpp": (["win32"], None),
    "win32/hover_button.cpp": (["win32"], None),
    "win32/icon_button.cpp": (["win32"], None),
    "win32/owner_draw_menu.cpp": (["win32"], None),
    "win32/percent_progress_ctrl.cpp": (["win32"], None),
    "win32/night_look.cpp": (["win32"], None),
    "win32/night_message_box.cpp": (["win32"], None),
    # The page: its script, the engine's exports and the canvas player.
    "web/page.js": (["page"], None),
    "web/web_main.cpp": (["page"], None),
    "web/keep_awake.cpp": (["page"], None),
    "web/draw_list_player.cpp": (["page"], None),
}

# The folders a score is given for; the serial layer is serial/ with its Qt
# back-end, which lives in qt/.
AREAS = (
    ("engine/", ("engine/",)),
    ("serial/", ("serial/", "qt/serial_backend.cpp", "qt/port_listing.cpp")),
    ("window/", ("window/",)),
    ("cli/", ("cli/",)),
    ("drawing/", ("drawing/",)),
    ("sim/", ("sim/",)),
    ("win32/", ("win32/",)),
    ("web/", ("web/",)),
)

# Faults the program cannot tell from the original, each with the reason,
# found by reading the code after a run showed them alive. They are listed,
# not run, and not counted in the score. A fault is named by its file, the
# function it is in (None: not in a function), the line's code, and what the
# operator changes, so that the entry follows the line when lines move; where
# the line holds that change more than once, a last item says which of them
# are meant, counted from the left.
EQUIVALENT = [
    ("engine/transfer.cpp", "CTransferEngine::Start", "transfer_.blockCounter = 0;",
     "transfer_.blockCounter = 0;", "",
     "the version reply sets the counter before any step reads it"),
    ("engine/transfer.cpp", "CTransferEngine::Stop", "transfer_.replyText.clear();",
     "transfer_.replyText.clear();", "",
     "a stopped transfer takes no reply, and Start clears the text before the first"),
    ("engine/catalog.cpp", None, "std::uint64_t{1} << 40);", "40", "39",
     "a bound against overflow only: a number held at 2^39 is above every limit as well"),
    ("engine/catalog.cpp", "ConvertSecondLayout",
     "std::fill(record.begin(), record.end(), std::uint8_t{0});",
     "std::fill(record.begin(), record.end(), std::uint8_t{0});", "",
     "the second layout writes every byte of its record"),
    ("engine/catalog.cpp", "ConvertSecondLayout",
     "std::fill(record.begin(), record.end(), std::uint8_t{0});", "0", "1",
     "the second layout writes every byte of its record"),
    ("engine/catalog.h", None, "std::int64_t separatorLine = 0;", "0", "1",
     "read only when separator is true, which sets it"),
    ("engine/data_block.h", None, "std::int32_t sectionOffset = 0;", "0", "1",
     "read only after the separator line sets it"),
    ("engine/catalog.cpp", "PlanCatalog", "std::int32_t v = 0;", "0", "1",
     "CCatalogBlocks::Next sets it before it is read"),
    ("engine/catalog.h", None, "std::int64_t line = 0;", "0", "1",
     "every finding is made with its line"),
    ("engine/catalog.h", None, "std::int64_t column = 0;", "0", "1",
     "every finding is made with its column"),
    ("engine/catalog.h", None, "std::int64_t line = 1;", "1", "0",
     "a place without a findings list is never read; with one, it is made with its line"),
    ("engine/catalog.h", None, "std::int64_t column = 1;", "1", "0",
     "a place without a findings list is never read; with one, it is made with its column"),
    ("engine/catalog.h", None, "bool firstSection_ = true;", "true", "false",
     "Next sets it before InFirstSection can be asked"),
    ("engine/data_file.cpp", "ReadUtf8", "} else if (lead >= 0xF0 && lead <= 0xF4) {", "0xF0",
     "0xEF", "0xEF is a three-byte lead, taken by the branch before"),
    ("engine/data_file.cpp", "CDataFile::Open", "byteOrderMark_ = false;",
     "byteOrderMark_ = false;", "",
     "only a plan's own reader, opened once, is asked about the mark"),
    ("engine/data_block.cpp", "SectorText", "std::string text(5, '0');", "'0'", "'1'",
     "the loop writes all five digits"),
    ("engine/data_file.h", None, "bool atEnd_ = false;", "false", "true",
     "Open sets it before anything reads it"),
    ("engine/data_file.h", None, "std::int64_t lineNumber_ = 1;", "1", "0",
     "Open sets it before anything reads it"),
    ("engine/data_file.h", None, "std::int64_t lineColumn_ = 1;", "1", "0",
     "Open sets it before anything reads it"),
    ("engine/data_file.h", None, "std::int64_t line = 0;", "0", "1",
     "set with the byte it names, and read only then"),
    ("engine/data_file.h", None, "std::uint8_t byte = 0;", "0", "1",
     "set when a byte that is not text is found, and read only then"),
    ("serial/port_names.cpp", "NaturalLess", "return x.size() < y.size();", "<", "<=",
     "the sizes differ here"),
    ("serial/port_names.cpp", "NaturalLess", "return x < y;", "<", "<=", "x and y differ here"),
    ("serial/port_names.cpp", "NaturalLess", "return a.front() < b.front();", "<", "<=",
     "the characters differ here"),
    ("serial/ms_comm.cpp", "ParseLineSettings", "parsed.stopTenths = 15;", "15", "14",
     "a Linux line has no 1.5 stop bits: one stop bit either way"),
    ("qt/serial_backend.cpp", "CMSComm::CMSComm",
     "if (rThreshold_ > 0 && backend_->port.bytesAvailable() >= rThreshold_) {", ">", ">=",
     "the port face always sets RThreshold to 1"),
    ("qt/serial_backend.cpp", "CMSComm::~CMSComm", "backend_->port.close();",
     "backend_->port.close();", "", "the port closes itself when it goes"),
    ("serial/serial_port_face.cpp", "CSerialPortFace::PreparePort", "comm_.SetInputMode(1);",
     "comm_.SetInputMode(1);", "", "the port hands over received bytes as they are in any mode"),
    ("serial/serial_port_face.cpp", "CSerialPortFace::PreparePort", "comm_.SetInputMode(1);",
     "1", "0", "the port hands over received bytes as they are in any mode"),
    ("serial/serial_port_face.cpp", "CSerialPortFace::PreparePort",
     "comm_.SetOutBufferSize(2048);", "comm_.SetOutBufferSize(2048);", "",
     "only the Windows back-end reads it, for the size of the system's output queue"),
    ("serial/serial_port_face.cpp", "CSerialPortFace::PreparePort",
     "comm_.SetOutBufferSize(2048);", "2048", "2047",
     "only the Windows back-end reads it, for the size of the system's output queue"),
    ("qt/serial_backend.cpp", "ToStopBits", "return tenths == 15   ? QSerialPort::OneAndHalfStop",
     "15", "14", "a Linux line has no 1.5 stop bits: one stop bit either way"),
    ("qt/serial_backend.cpp", "CMSComm::SetPortOpen", "port.setReadBufferSize(0);",
     "port.setReadBufferSize(0);", "", "0, no limit, is the port's own default"),
    ("win32/event_loop.cpp", "ConsoleHandler",
     "PostMessageW(gLoopWindow, kInterruptMessage, 0, 0);", "0", "1",
     "the loop takes the message by its number and reads neither parameter"),
    ("win32/cli_main.cpp", "main", "arguments.reserve(static_cast<std::size_t>(count));",
     "arguments.reserve(static_cast<std::size_t>(count));", "",
     "room reserved ahead only: the vector grows to what is pushed"),
    ("win32/dialog.cpp", "CDialog::HandleMessage", "SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);",
     "SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);", "",
     "the only result set here, for WM_SYSCOMMAND, whose result the system never reads"),
    ("win32/dialog.cpp", "CDialog::HandleMessage", "SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);",
     "0", "1", "the only result set here, for WM_SYSCOMMAND, whose result the system never reads"),
    ("win32/look_store.cpp", "RememberedLook", "DWORD night = 0;", "0", "1",
     "read only when the registry has filled it"),
    ("win32/report_facts.cpp", "FindAdapterIn", "DWORD latency = 0;", "0", "1",
     "read only when the registry has filled it"),
    ("win32/serial_backend.cpp", "CMSComm::Backend::Deliver",
     "if (owner.rThreshold_ > 0 && waiting >= static_cast<std::size_t>(owner.rThreshold_)) {",
     ">", ">=", "the port face always sets RThreshold to 1"),
    ("win32/serial_backend.cpp", "CMSComm::GetInput",
     "if (inputLen_ > 0 && input.size() > static_cast<std::size_t>(inputLen_)) {", ">", ">=",
     "with exactly as many bytes as the limit, both branches take them all", (2,)),
    ("win32/downloader_dialog.cpp", "CDownloaderDlg::OnMessage",
     "const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;", "1", "0",
     "since Windows 95 a minimised window shows no client area: where its icon would sit "
     "is never seen"),
    ("win32/downloader_dialog.cpp", "CDownloaderDlg::OnMessage",
     "const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;", "2", "1",
     "since Windows 95 a minimised window shows no client area: where its icon would sit "
     "is never seen"),
    ("win32/downloader_dialog.cpp", "CDownloaderDlg::OnMessage",
     "const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;", "1", "0",
     "since Windows 95 a minimised window shows no client area: where its icon would sit "
     "is never seen"),
    ("win32/downloader_dialog.cpp", "CDownloaderDlg::OnMessage",
     "const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;", "2", "1",
     "since Windows 95 a minimised window shows no client area: where its icon would sit "
     "is never seen"),
    ("win32/draw_list_player.cpp", "FillSolidRect",
     "ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);", "0", "1",
     "an opaque output of no text fills the rectangle wherever the text would start", (1, 2)),
    ("win32/night_message_box.cpp", "Child",
     "HWND child = CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, "
     "0, 0, 0, 0, box,",
     "0", "1", "LayOut places and sizes every part before the box shows", (2, 3, 4, 5)),
    ("win32/night_look.cpp", "DrawPlainControlAtNight",
     "SetWindowSubclass(control, PlainControlProc, 0, kind);", "0", "1",
     "the procedure removes itself with the id it was given, and nothing else asks for it"),
    ("drawing/draw_list.cpp", "Index",
     "return value >= 0 && value < 32 ? static_cast<std::size_t>(value) : 0;", ">=", ">",
     "role 0 falls to index 0 either way"),
    ("drawing/percent_progress.cpp", "TruncateToInt",
     "if (value <= static_cast<double>(std::numeric_limits<int>::min())) {", "<=", "<",
     "the lowest int itself converts to the lowest int"),
    ("cli/arguments.cpp", "Parse", "} else if (unknown.size() > 1) {", ">", ">=",
     "one unknown option is taken by the branch before"),
    ("cli/cli_window.cpp", "CCliWindow::AskQuestion", "ClearProgress();",
     "ClearProgress();", "", "the question comes at Start, before any bar is drawn"),
    ("web/web_main.cpp", "PageReportContext", "while (from < facts.size()) {", "<", "<=",
     "at the end the line read is empty, and an empty line names nothing"),
    ("web/draw_list_player.cpp", "PlayOne", "points.reserve(op.points.size() * 2);", "2", "1",
     "room reserved ahead only: the vector grows to what is pushed"),
    ("web/draw_list_player.cpp", "PlayOne", "points.reserve(op.points.size() * 2);",
     "points.reserve(op.points.size() * 2);", "",
     "room reserved ahead only: the vector grows to what is pushed"),
    ("cli/cli_window.cpp", "CCliWindow::AskQuestion",
     'for (std::size_t at = said.find("\\n\\n"); at != std::string::npos; at = said.find("\\n\\n")) {',
     '"\\n\\n"', '"\\n"',
     "every line break of a question begins a paragraph's blank line"),
    ("web/page.js", None, "setTimeout(() => page.fireComm(), 0);", "0", "1",
     "an event held while the engine worked goes a millisecond later: the same event"),
    ("web/page.js", None, 'log: "",', '""', '"x"',
     "the log's copy for tests only; the engine clears it before its first line"),
]

# Tables of a look's shades, whose numbers no constant fault is planted in,
# as messages are not: a shade one step off is no fault a user or a test can
# see. What the shades must keep (the night limit, the contrast between a
# face and its text) is tested on everything drawn with them.
SHADES = {("drawing/palette.cpp", "NightColors"), ("web/draw_list_player.cpp", "SystemColors")}

# Code no user reaches: the scene the screenshots and the picture tests stage.
# It is not planted in.
SCENES = {("window/main_window.cpp", "ShowTransferUnderWay")}

PROSE = re.compile(r"\S+ \S+ \S+")  # three words or more: a message, not a token
CONTROL = {"if", "for", "while", "switch", "return", "sizeof", "case", "else", "do", "delete",
           "new", "throw", "static_assert", "static_cast", "reinterpret_cast", "const_cast",
           "function", "catch", "typeof", "await"}


# ---------------------------------------------------------------- sources

def tracked_files():
    out = subprocess.run(["git", "ls-files", "-co", "--exclude-standard", "-z"], cwd=ROOT,
                         check=True, capture_output=True).stdout.decode()
    return [f for f in out.split("\0") if f and (ROOT / f).is_file()]


def sync_copy():
    """Brings build-mutate/src up to the working tree; unchanged files keep
    their times, so the build stays incremental. It also undoes any fault a
    killed run left behind."""
    files = set(tracked_files())
    for name in files:
        source, copy = ROOT / name, SRC / name
        data = source.read_bytes()
        if not copy.is_file() or copy.read_bytes() != data:
            copy.parent.mkdir(parents=True, exist_ok=True)
            copy.write_bytes(data)
            copy.chmod(source.stat().st_mode)
    for copy in SRC.rglob("*"):
        if copy.is_file() and str(copy.relative_to(SRC)) not in files:
            copy.unlink()


# ---------------------------------------------------------------- mutants

def digit_separator(text, i):
    """Whether the quote at i separates digits: inside a number, whose run
    of letters and digits starts with a digit (u8'a' is a character)."""
    if not text[i + 1:i + 2].isalnum():
        return False
    start = i
    while start > 0 and (text[start - 1].isalnum() or text[start - 1] == "'"):
        start -= 1
    return start < i and text[start].isdigit()


def mask(text):
    """The text with comments, and the insides of string and character
    literals, replaced by spaces (line breaks kept), so that operators are
    looked for in code only."""
    out = list(text)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out[i:j] = " " * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i) + 2
            out[i:j] = [ch if ch == "\n" else " " for ch in text[i:j]]
            i = j
        elif c == "'" and digit_separator(text, i):
            i += 1  # as in 1'000'000
        elif c in "\"'":
            j = i + 1
            while text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out[i + 1:j] = " " * (j - i - 1)
            i = j + 1
        else:
            i += 1
    return "".join(out)


def literal_units(body):
    """A string literal's contents as characters, escapes kept whole."""
    return re.findall(r"\\x[0-9A-Fa-f]{1,2}|\\.|.", body)


def changed_literal(token):
    if token.startswith("'"):
        body = token[1:-1]
        swaps = {"\\n": "\\r", "\\r": "\\n", "\\t": " ", "\\0": "\\1", "\\\\": "/"}
        new = swaps.get(body) or (chr(ord(body) + 1) if len(body) == 1 else None)
        return None if new is None else "'" + new + "'"
    units = literal_units(token[1:-1])
    return '"' + "".join(units[:-1]) + '"' if units else '"x"'


def changed_number(token):
    digits = token.rstrip("uUlL")
    suffix = token[len(digits):]
    value = int(digits, 0)
    new = 1 if value == 0 else value - 1
    text = ("0x%X" % new) if digits.lower().startswith("0x") else str(new)
    return text + suffix


def matching(masked, start, open_ch="(", close_ch=")"):
    depth = 0
    for i in range(start, len(masked)):
        if masked[i] == open_ch:
            depth += 1
        elif masked[i] == close_ch:
            depth -= 1
            if depth == 0:
                return i
    return -1


def region(lines, function):
    """Line numbers (from 1) of a function's body, or of the whole file."""
    if function is None:
        return set(range(1, len(lines) + 1))
    text = "\n".join(lines)
    start = text.index(function + "(")
    body = text.index("{", start)
    end = matching(mask(text), body, "{", "}")
    first = text.count("\n", 0, body) + 1
    return set(range(first, text.count("\n", 0, end) + 2))


def statement_end(mlines, index):
    """Index of the line on which the statement starting at index ends; None
    when a brace opens outside its parentheses first (a definition)."""
    depth = 0
    for j in range(index, min(index + 8, len(mlines))):
        for c in mlines[j]:
            depth += {"(": 1, ")": -1}.get(c, 0)
            if c == "{" and depth == 0:
                return None
        if depth == 0 and mlines[j].rstrip().endswith(";"):
            return j
    return None


def enclosing(lines, index):
    """The name of the function whose body holds line index; None outside one."""
    for j in range(index, -1, -1):
        hit = re.match(r"(?=[A-Za-z])(?:[^;(]*\s)?([\w:~]+)\(", lines[j])
        if hit and not lines[j].startswith(("namespace", "struct", "class")):
            return hit.group(1)
        if lines[j].startswith(("}", "namespace", "struct", "class")) and j < index:
            return None
    return None


def equivalent(m):
    """The reason a fault is listed as equivalent, or None."""
    for path, function, code, before, after, reason, *which in EQUIVALENT:
        if (m["file"], m["code"], m["from"], m["to"]) == (path, code, before, after) and \
                (function is None or m["function"] == function) and \
                (not which or m["nth"] in which[0]):
            return reason
    return None


def check_equivalents(mutants, files):
    """The EQUIVALENT entries of the files planted in that match no fault;
    an entry whose last item is not a tuple of positions stops the run."""
    unmatched = []
    for entry in EQUIVALENT:
        which = entry[6:]
        if which and not (isinstance(which[0], tuple) and
                          all(isinstance(n, int) and n > 0 for n in which[0])):
            raise SystemExit("EQUIVALENT: the positions must be a tuple of numbers from 1: %s"
                             % (entry,))
        if entry[0] in files and not any(equivalent(m) == entry[5] and m["file"] == entry[0] and
                                         m["code"] == entry[2] for m in mutants):
            unmatched.append(entry)
    return unmatched


def mutants_of(path):
    """Every fault the operators plant in one file, in file order: dicts with
    the line, the operator, what it changes and the new text of the lines."""
    text = (ROOT / path).read_text()
    lines = text.split("\n")
    mlines = mask(text).split("\n")
    allowed = region(lines, FILES[path][1])
    found = []

    def add(index, op, before, after, new_lines, column=0):
        found.append({"file": path, "line": index + 1, "op": op, "from": before, "to": after,
                      "code": lines[index].split("//")[0].strip(),
                      "function": enclosing(lines, index), "column": column,
                      "lines": (index, index + len(new_lines), new_lines)})

    def replace_at(index, col, old, new, op):
        line = lines[index]
        add(index, op, old.strip(), new.strip(), [line[:col] + new + line[col + len(old):]], col)

    for i, (line, m) in enumerate(zip(lines, mlines)):
        code = m.strip()
        if (path, enclosing(lines, i)) in SCENES:
            continue
        if i + 1 not in allowed or not code or code.startswith("#") or \
                re.match(r"(namespace|using|static_assert|Q_OBJECT|signals|public|private)\b",
                         code):
            continue
        # Comparison flipped: == and != swap; a relational operator moves its
        # boundary (< and <=, > and >=). Template brackets have no spaces.
        for hit in re.finditer(r" (===|!==|==|!=|<=|>=|<|>) ", m):
            op = hit.group(1)
            new = {"===": "!==", "!==": "===", "==": "!=", "!=": "==", "<": "<=", "<=": "<",
                   ">": ">=", ">=": ">"}[op]
            replace_at(i, hit.start(1), op, new, "comparison")
        # Boolean negated: a condition, && and ||, a ! dropped, true and false.
        for hit in re.finditer(r"\b(if|while) \(", m):
            close = matching(m, hit.end() - 1)
            if close > 0 and m[hit.end()] != "!":  # a leading ! is dropped below
                inner = line[hit.end():close]
                add(i, "negation", inner, "!(" + inner + ")",
                    [line[:hit.end()] + "!(" + inner + ")" + line[close:]])
        for hit in re.finditer(r"&&|\|\|", m):
            replace_at(i, hit.start(), hit.group(), "||" if hit.group() == "&&" else "&&",
                       "negation")
        for hit in re.finditer(r"!(?!=)", m):
            replace_at(i, hit.start(), "!", "", "negation")
        for hit in re.finditer(r"\b(true|false)\b", m):
            replace_at(i, hit.start(), hit.group(), "false" if hit.group() == "true" else "true",
                       "negation")
        # Constant changed: whole numbers (0 goes up by one, others down),
        # short string literals (their last character dropped) and character
        # literals. Array sizes, messages and shades are left alone.
        shades = (path, enclosing(lines, i)) in SHADES
        if not shades and \
                not re.match(r"(const\s+)?(char|std::uint8_t|unsigned|int)\s+\w+\[\d+\]", code):
            for hit in re.finditer(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)[uUlL]*(?![\w.])", m):
                replace_at(i, hit.start(), hit.group(), changed_number(hit.group()), "constant")
        for hit in re.finditer(r"\"\s*\"|'\s*'", m):
            token = line[hit.start():hit.end()]
            # A literal the mask and the line disagree on (a raw string's
            # body) is left alone.
            if not token or (token[0] == '"' and PROSE.search(token)) or 'R"' in line:
                continue
            new = changed_literal(token)
            if new is not None:
                replace_at(i, hit.start(), token, new, "constant")
        # Statement removed, call removed: a whole statement that stands on
        # its own lines goes.
        start = re.match(r"(emit |await )?([\w:]+)((\.|->)\w+)*\s*\(", code)
        assigns = re.match(r"(\*?[\w.>\-\[\]]+) ([-+*/|&^]?=) ", code) or \
            re.match(r"(\+\+|--)[\w.>\-]+;$|[\w.>\-\[\]]+(\+\+|--);$", code)
        jump = re.match(r"(break|continue|return);$", code)
        if re.search(r"= (default|delete);$", code):
            start = None
        previous = next((l.strip() for l in reversed(mlines[:i]) if l.strip()), ";")
        alone = previous[-1] in ";{}:" or re.match(r"(\} )?(if|for|while|else)\b", previous)
        kind = None
        if not alone:
            pass
        elif start and start.group(2) not in CONTROL and not start.group(2).isupper() and \
                not re.match(r"[A-Z_]+$", start.group(2).split("::")[-1]):
            kind = "call"
        elif assigns or jump:
            kind = "statement"
        if kind:
            end = statement_end(mlines, i)
            if end is not None:
                indent = line[:len(line) - len(line.lstrip())]
                add(i, kind, " ".join(l.strip() for l in lines[i:end + 1]), "",
                    [indent + ";"] + [""] * (end - i))
    # Where a line holds the same change more than once (three zeros among
    # a call's arguments), which of them, counted from the left.
    seen = {}
    for m in sorted(found, key=lambda m: (m["line"], m["column"])):
        key = (m["line"], m["op"], m["from"], m["to"])
        seen[key] = seen.get(key, 0) + 1
        m["nth"] = seen[key]
    return found


def write_mutant(mutant, original):
    lines = original.split("\n")
    first, last, new = mutant["lines"]
    lines[first:last] = new
    (SRC / mutant["file"]).write_text("\n".join(lines))


# ---------------------------------------------------------------- running

def tree_of(path):
    """The build tree a file's faults are built in: that of its stages."""
    trees = {STAGES[stage].tree for stage in FILES[path][0]}
    assert len(trees) == 1, path
    return trees.pop()


def run(cmd, tree="linux", timeout=None, env=None):
    return subprocess.run(cmd, cwd=TREES[tree][0], capture_output=True, text=True, timeout=timeout,
                          env=dict(os.environ, **(env or {})))


def configure(tree):
    where, cmake, options, _ = TREES[tree]
    env = {"NODE_PATH": "/usr/share/nodejs"} if tree == "web" else None
    where.mkdir(parents=True, exist_ok=True)
    done = run([*cmake, "-S", str(SRC), "-B", str(where), "-G", "Ninja", *options], tree, env=env)
    if done.returncode != 0:
        sys.exit("cannot configure build-mutate/%s:\n%s" % (where.name, done.stdout + done.stderr))


def build(targets, tree="linux"):
    """True when built; False when the compiler refused; None when only a
    later step failed (a test program that dies as its tests are listed)."""
    env = {"NODE_PATH": "/usr/share/nodejs"} if tree == "web" else None
    done = run(["cmake", "--build", ".", "--parallel", "2", "--target", *targets], tree, env=env)
    if done.returncode == 0:
        return True
    return False if ": error:" in done.stdout + done.stderr else None


def object_files(tree):
    """Each source's object file in a tree, from its compile commands; none
    where the tree's objects are not compared."""
    where, _, _, objcopy = TREES[tree]
    objects = {}
    if objcopy is None:
        return objects
    for entry in json.loads((where / "compile_commands.json").read_text()):
        source = Path(entry["file"]).resolve()
        if SRC.resolve() in source.parents:
            words = shlex.split(entry["command"])
            objects.setdefault(str(source.relative_to(SRC.resolve())), words[words.index("-o") + 1])
    return objects


def code_digest(obj, tree):
    """The object's code and data without its debug information: two sources
    with the same digest make the same program."""
    where, _, _, objcopy = TREES[tree]
    stripped = where / "mutate-stripped.o"
    subprocess.run([objcopy, "--strip-debug", str(where / obj), str(stripped)], check=True)
    return hashlib.sha256(stripped.read_bytes()).hexdigest()


def first_failure(output):
    """The name of the first failed test in a stage's output."""
    for pattern in (r"\d+ - (\S+) \(", r"\[  FAILED  \] (\S+)", r"^(?:FAIL|ERROR): (\w+)"):
        found = re.findall(pattern, output, re.M)
        if found:
            return found[0]
    return "a test"


def run_stage(name, jobs):
    """None when every test passed, else the name of a test that failed (in a
    stage that depends on timing, failed twice: a test that fails under load
    does not count as a catch). A stage that outlives its time counts as
    caught: the fault made something hang."""
    stage = STAGES[name]
    for attempt in range(2 if stage.timed else 1):
        try:
            if isinstance(stage.tests, str):
                again = ["--rerun-failed"] if attempt else ["-R", stage.tests, "--stop-on-failure"]
                # Under Wine one at a time: the windows of one test must not
                # take the focus from another's.
                alone = stage.tree == "windows"
                done = run(["ctest", *again, "--timeout", str(stage.timeout), "-j",
                            str(1 if alone else jobs)], stage.tree, env=stage.env)
            else:
                done = run(stage.tests, stage.tree, timeout=stage.timeout, env=stage.env)
        except subprocess.TimeoutExpired:
            return "a hang past %d s" % stage.timeout
        if done.returncode == 0:
            return None
        if "***Timeout" in done.stdout:
            return "a hang past %d s" % stage.timeout  # not tried again: hangs are slow
    return first_failure(done.stdout + done.stderr)


def test_mutant(mutant, stages, jobs):
    """Returns (outcome, detail): caught, survived, or not built."""
    for stage in stages:
        targets = STAGES[stage].targets
        built = build(targets, STAGES[stage].tree)
        if built is False:
            return "not built", "does not compile"
        if built is None:
            return "caught", "the test program %s does not start" % " ".join(targets)
        failed = run_stage(stage, jobs)
        if failed:
            return "caught", "%s (%s)" % (failed, stage)
    return "survived", "ran " + ", ".join(stages)


def describe(m):
    """The fault in a line of its own; where its line holds the same change
    more than once, which of them (#2: the second from the left)."""
    text = "%s:%d%s %s" % (m["file"], m["line"], "#%d" % m["nth"] if m["nth"] > 1 else "",
                           m["op"])
    if m["op"] in ("call", "statement"):
        return "%s removed: %s" % (text, m["from"])
    return "%s: %s -> %s" % (text, m["from"], m["to"] or "(nothing)")


def sample(mutants, count, seed):
    """A share of every file's faults, drawn with the seed: the same share of
    each source file, at least five; half that share of each header, whose
    every fault rebuilds most of the project, at least three (fewer where a
    small sample is spread over many files, but one of each)."""
    if count >= len(mutants):
        return mutants
    files = set(m["file"] for m in mutants)
    rng = random.Random(seed)
    share = count / len(mutants)
    chosen = []
    for path in dict.fromkeys(m["file"] for m in mutants):
        own = [m for m in mutants if m["file"] == path]
        header = path.endswith(".h")
        least = min(3 if header else 5, max(1, count // len(files)))
        wanted = max(least, round(len(own) * share / (2 if header else 1)))
        chosen += sorted(rng.sample(own, min(len(own), wanted)), key=lambda m: m["line"])
    return chosen


def interrupted(*_):
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seed", type=int, default=14)
    parser.add_argument("--sample", type=int, default=260,
                        help="faults to plant, drawn evenly from every file (default 260)")
    parser.add_argument("--all", action="store_true", help="plant every fault, no sample")
    parser.add_argument("--only", help="plant only in this file, or at FILE:LINE")
    parser.add_argument("--folder", action="append",
                        help="plant only in the files under this folder (repeatable)")
    parser.add_argument("--survivors", action="store_true",
                        help="plant again only the faults the last run left alive")
    parser.add_argument("--list", action="store_true", help="write the list, plant nothing")
    parser.add_argument("--jobs", type=int, default=2)
    args = parser.parse_args()

    files = [path for path in FILES
             if not args.folder or any(path.startswith(f.rstrip("/") + "/") for f in args.folder)]
    everything = [m for path in files for m in mutants_of(path)]
    unmatched = check_equivalents(everything, files)
    for entry in unmatched:
        print("warning: no fault matches this EQUIVALENT entry (has its line changed?): %s: %s"
              % (entry[0], entry[2]))
    chosen = args.all or args.only or args.survivors
    mutants = everything if chosen else sample(everything, args.sample, args.seed)
    if args.survivors:
        alive = {line.split("  -- ")[0].split(None, 1)[1]
                 for line in (WORK / "results.txt").read_text().splitlines()
                 if line.startswith("survived")}
        mutants = [m for m in everything if describe(m) in alive]
    if args.only:
        path, _, line = args.only.partition(":")
        mutants = [m for m in mutants if m["file"] == path and (not line or m["line"] == int(line))]
    WORK.mkdir(exist_ok=True)
    with open(WORK / "mutants.txt", "w") as listing:
        listing.write("# %d of %d faults, seed %d\n" % (len(mutants), len(everything), args.seed))
        for number, m in enumerate(mutants, 1):
            listing.write("%d %s\n" % (number, describe(m)))
    print("%d faults planted of %d possible (seed %d); the list: %s" %
          (len(mutants), len(everything), args.seed, WORK / "mutants.txt"))
    if args.list or not mutants:
        return 0

    stages = sorted({s for m in mutants for s in FILES[m["file"]][0]}, key=list(STAGES).index)
    trees = sorted({STAGES[s].tree for s in stages} | {"linux"}, key=list(TREES).index)
    if "windows" in trees and "VELMORO_WINE_COM1_LINK" not in os.environ:
        # Once more, inside a Wine prefix of its own with its display and
        # server, removed when the run ends.
        script = 'source tests/wine/wine_env.sh && wine_prefix_start && python3 "$@"'
        return subprocess.run(["bash", "-c", script, "mutate", str(Path(__file__).resolve()),
                               *sys.argv[1:]], cwd=ROOT).returncode

    signal.signal(signal.SIGTERM, interrupted)
    started = time.time()
    sync_copy()
    for tree in trees:
        configure(tree)
    print("building and running the unchanged suite ...", flush=True)
    helpers = sorted({t for s in stages for t in STAGES[s].helpers})
    if helpers and build(helpers) is not True:
        sys.exit("the unchanged sources do not build")
    for tree in trees:
        needed = sorted({t for s in stages if STAGES[s].tree == tree for t in STAGES[s].targets})
        if needed and build(needed, tree) is not True:
            sys.exit("the unchanged sources do not build (%s)" % tree)
    for stage in stages:
        failed = run_stage(stage, args.jobs)
        if failed:
            sys.exit("the unchanged suite fails (%s): fix that first" % failed)
    objects = {}  # file -> its object in its tree, where objects are compared
    for tree in trees:
        own = object_files(tree)
        objects.update({path: own[path] for path in FILES if tree_of(path) == tree and path in own})
    originals = {path: (SRC / path).read_text() for path in {m["file"] for m in mutants}}
    planted = {m["file"] for m in mutants if m["file"] in objects}
    for tree in trees:
        mine = [objects[path] for path in planted if tree_of(path) == tree]
        if mine and build(mine, tree) is not True:
            sys.exit("the unchanged sources do not build (%s)" % tree)
    digests = {path: code_digest(objects[path], tree_of(path)) for path in planted}
    seen = {}  # object digest -> outcome of the fault that made it first

    results = []
    try:
        for number, m in enumerate(mutants, 1):
            path = m["file"]
            began = time.time()
            reason = equivalent(m)
            if reason:
                results.append((m, "equivalent", reason))
                print("[%d/%d] equivalent %s  -- %s" % (number, len(mutants), describe(m), reason))
                continue
            write_mutant(m, originals[path])
            try:
                if path in objects:
                    if build([objects[path]], tree_of(path)) is False:
                        outcome = ("not built", "does not compile")
                    else:
                        digest = code_digest(objects[path], tree_of(path))
                        if digest == digests[path]:
                            outcome = ("same code", "the object code does not change")
                        elif digest in seen:
                            outcome = seen[digest]
                        else:
                            outcome = seen[digest] = test_mutant(m, FILES[path][0], args.jobs)
                else:
                    outcome = test_mutant(m, FILES[path][0], args.jobs)
            finally:
                (SRC / path).write_text(originals[path])
            results.append((m, *outcome))
            print("[%d/%d] %-9s %s  -- %s (%.0f s)" % (number, len(mutants), outcome[0],
                                                      describe(m), outcome[1],
                                                      time.time() - began), flush=True)
    except KeyboardInterrupt:
        print("\ninterrupted; the sources are restored")
    finally:
        for path, text in originals.items():
            (SRC / path).write_text(text)

    with open(WORK / "results.txt", "w") as out:
        for m, outcome, detail in results:
            out.write("%-9s %s  -- %s\n" % (outcome, describe(m), detail))
    print("\n== %d faults in %.0f min" % (len(results), (time.time() - started) / 60))
    print("the score per folder (caught of counted; a folder needs 90%):")
    for area, prefixes in AREAS:
        counted = [r for r in results if r[0]["file"].startswith(prefixes) and
                   r[1] in ("caught", "survived")]
        if counted:
            caught = sum(1 for r in counted if r[1] == "caught")
            print("  %-9s %3d of %3d caught (%.0f%%)" % (area, caught, len(counted),
                                                        100.0 * caught / len(counted)))
    skipped = [r for r in results if r[1] in ("same code", "not built")]
    print("not counted: %d with unchanged object code, %d that do not compile" %
          (sum(1 for r in skipped if r[1] == "same code"),
           sum(1 for r in skipped if r[1] == "not built")))
    known = [r for r in results if r[1] == "equivalent"]
    if known:
        print("equivalent, not run (EQUIVALENT in %s):" % Path(__file__).name)
        for m, _, reason in known:
            print("  %s  -- %s" % (describe(m), reason))
    survivors = [r for r in results if r[1] == "survived"]
    print("survivors:" if survivors else "no survivors")
    for m, _, _ in survivors:
        print("  " + describe(m))
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
