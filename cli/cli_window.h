#pragma once

// The engine's window face on a terminal: each log line goes to stdout
// without its CR LF; on a terminal, stderr shows a progress bar with the
// percentage, the bytes sent per second and the time left.

#include <chrono>
#include <functional>
#include <string>

#include "event_loop.h"
#include "faces.h"

namespace velmoro {

class CCliWindow : public IWindowFace {
public:
    // bytesSent reports the bytes gone to the port so far, for the rate;
    // onBeacon runs at every tick of timer 1; force answers Yes to every
    // question about a file that looks wrong.
    CCliWindow(CEventLoop& loop, std::filesystem::path dataFile, UpdateType type, bool progressBar,
               std::function<long long()> bytesSent, std::function<void()> onBeacon, bool force);

    void ClearLog() override {}
    void AppendLog(std::string_view text) override;
    void SetStartStopCaption(std::string_view) override {}
    void EnableOpenButton(bool) override {}
    void StartBeaconTimer(int periodMs) override { loop_.StartTimer(beacon_, periodMs); }
    void StopBeaconTimer() override { loop_.StopTimer(beacon_); }
    std::filesystem::path DataFilePath() const override { return dataFile_; }
    UpdateType GetUpdateType() const override { return type_; }
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void ReportPortFailure(std::string_view errorText) override { portFailure_ = errorText; }
    bool AskQuestion(std::string_view question) override;
    // The session takes the end from the report it is handed.
    void TransferEnded(const TransferEnd&) override {}

    const std::string& LastLog() const { return lastLog_; }
    const std::string& PortFailure() const { return portFailure_; }
    // A question was answered No: the file was not sent.
    bool Declined() const { return declined_; }
    // Removes the progress bar from the terminal, before other output.
    void ClearProgress();

private:
    void DrawProgress();

    CEventLoop& loop_;
    std::filesystem::path dataFile_;
    UpdateType type_;
    bool progressBar_;
    std::function<long long()> bytesSent_;
    bool force_;
    bool declined_ = false;
    CEventLoop::TimerId beacon_;
    // Rate and time left count from the controller's answer, not from the
    // minutes a user may take to reset it.
    long long bytesAtConnect_ = 0;
    std::chrono::steady_clock::time_point started_;
    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
    bool barShown_ = false;
    std::string lastLog_;
    std::string portFailure_;
};

}  // namespace velmoro
