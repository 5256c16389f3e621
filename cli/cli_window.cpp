#include "cli_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "transfer.h"

namespace velmoro {

CCliWindow::CCliWindow(CEventLoop& loop, std::filesystem::path dataFile, UpdateType type,
                       bool progressBar, std::function<long long()> bytesSent,
                       std::function<void()> onBeacon, bool force)
    : loop_(loop),
      dataFile_(std::move(dataFile)),
      type_(type),
      progressBar_(progressBar),
      bytesSent_(std::move(bytesSent)),
      force_(force),
      beacon_(loop.AddTimer(std::move(onBeacon))) {}

void CCliWindow::AppendLog(std::string_view text) {
    lastLog_ = text;
    if (text == texts::kConnected) {
        started_ = std::chrono::steady_clock::now();
        bytesAtConnect_ = bytesSent_ ? bytesSent_() : 0;
    }
    std::string_view line = text;
    if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
        line.remove_suffix(2);
    }
    ClearProgress();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool CCliWindow::AskQuestion(std::string_view question) {
    if (!force_) {
        declined_ = true;
        return false;
    }
    // The question without its last paragraph, which asks.
    std::string said(question.substr(0, std::min(question.rfind("\n\n"), question.size())));
    for (std::size_t at = said.find("\n\n"); at != std::string::npos; at = said.find("\n\n")) {
        said.replace(at, 2, " ");
    }
    ClearProgress();
    std::fprintf(stderr, "velmoro-downloader-cli: %s Sending it anyway (--force).\n", said.c_str());
    return true;
}

void CCliWindow::SetProgressRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    started_ = std::chrono::steady_clock::now();
}

void CCliWindow::SetProgressPos(int pos) {
    pos_ = pos;
    DrawProgress();
}

void CCliWindow::ClearProgress() {
    if (barShown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        barShown_ = false;
    }
}

void CCliWindow::DrawProgress() {
    if (!progressBar_ || upper_ <= lower_) {
        return;
    }
    // A catalogue's position can pass the range's upper end; the bar stops
    // at full.
    const double fraction =
        std::clamp(static_cast<double>(pos_ - lower_) / (upper_ - lower_), 0.0, 1.0);
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(fraction * kWidth);
    const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - started_)
                               .count();
    const double seconds = static_cast<double>(std::max<long long>(elapsedMs, 1)) / 1000.0;
    const double rate =
        static_cast<double>(bytesSent_ ? bytesSent_() - bytesAtConnect_ : 0) / seconds;
    char left[32] = "--:--";
    if (fraction > 0.0) {
        const long remaining = std::lround(seconds * (1.0 - fraction) / fraction);
        std::snprintf(left, sizeof left, "%ld:%02ld", remaining / 60, remaining % 60);
    }
    std::fprintf(stderr, "\r\033[K[%-*s] %3d%%  %6.1f KiB/s  %s left", kWidth,
                 std::string(static_cast<std::size_t>(filled), '#').c_str(),
                 static_cast<int>(fraction * 100.0), rate / 1024.0, left);
    std::fflush(stderr);
    barShown_ = true;
}

}  // namespace velmoro
