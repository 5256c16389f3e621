#pragma once

// The engine's window face on a terminal: each log line goes to stdout
// without its CR LF; on a terminal, stderr shows a progress bar with the
// percentage, the bytes sent per second and the time left.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "faces.h"

namespace velmoro {

class CCliWindow : public QObject, public IWindowFace {
    Q_OBJECT

public:
    // bytesSent reports the bytes gone to the port so far, for the rate;
    // force answers Yes to every question about a file that looks wrong.
    CCliWindow(std::filesystem::path dataFile, UpdateType type, bool progressBar,
               std::function<long long()> bytesSent, bool force);

    void ClearLog() override {}
    void AppendLog(std::string_view text) override;
    void SetStartStopCaption(std::string_view) override {}
    void EnableOpenButton(bool) override {}
    void StartBeaconTimer(int periodMs) override { beacon_.start(periodMs); }
    void StopBeaconTimer() override { beacon_.stop(); }
    std::filesystem::path DataFilePath() const override { return dataFile_; }
    UpdateType GetUpdateType() const override { return type_; }
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void ReportPortFailure(std::string_view errorText) override { portFailure_ = errorText; }
    bool AskQuestion(std::string_view question) override;

    const std::string& LastLog() const { return lastLog_; }
    const std::string& PortFailure() const { return portFailure_; }
    // A question was answered No: the file was not sent.
    bool Declined() const { return declined_; }
    // Removes the progress bar from the terminal, before other output.
    void ClearProgress();

signals:
    void BeaconTick();

private:
    void DrawProgress();

    std::filesystem::path dataFile_;
    UpdateType type_;
    bool progressBar_;
    std::function<long long()> bytesSent_;
    bool force_;
    bool declined_ = false;
    // Rate and time left count from the controller's answer, not from the
    // minutes a user may take to reset it.
    long long bytesAtConnect_ = 0;
    QTimer beacon_;
    QElapsedTimer elapsed_;
    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
    bool barShown_ = false;
    std::string lastLog_;
    std::string portFailure_;
};

}  // namespace velmoro
