#pragma once

// The engine wired to the simulated controller in memory: the port face
// hands every byte to the model and queues its replies as received input;
// the window face records what a window would show. Run() plays the event
// loop: a queued reply is a receive event, otherwise a due beacon tick.

#include <string>
#include <vector>

#include "faces.h"
#include "hc_model.h"
#include "transfer.h"

namespace velmoro::sim {

class CLoopbackRig : public IPortFace, public IWindowFace {
public:
    explicit CLoopbackRig(int beaconsBeforeGreeting = 1);

    void SetDataFile(std::filesystem::path path) { dataFilePath_ = std::move(path); }
    void SetUpdateType(UpdateType type) { updateType_ = type; }

    // Starts a transfer and delivers events until it ends or maxEvents pass.
    void Run(int maxEvents = 1'000'000);

    CTransferEngine& Engine() { return engine_; }
    CHandControllerModel& Controller() { return controller_; }
    const std::vector<std::string>& Log() const { return log_; }
    const std::string& Caption() const { return caption_; }
    bool OpenButtonEnabled() const { return openEnabled_; }
    bool TimerRunning() const { return timerRunning_; }
    int ProgressLower() const { return progressLower_; }
    int ProgressUpper() const { return progressUpper_; }
    const std::vector<int>& Positions() const { return positions_; }
    std::size_t BytesSent() const { return bytesSent_; }

    // IPortFace
    bool PreparePort(std::string& errorText) override;
    bool GetPortOpen() const override { return portOpen_; }
    void SetOutput(std::string_view text) override;
    void SetOutput(std::span<const std::uint8_t> bytes) override;
    int GetCommEvent() const override { return kCommEventReceive; }
    std::vector<std::uint8_t> GetInput() override;
    std::string LossReason() const override { return {}; }

    // IWindowFace
    void ClearLog() override { log_.clear(); }
    void AppendLog(std::string_view text) override { log_.emplace_back(text); }
    void SetStartStopCaption(std::string_view caption) override { caption_ = caption; }
    void EnableOpenButton(bool enable) override { openEnabled_ = enable; }
    void StartBeaconTimer(int /*periodMs*/) override { timerRunning_ = true; }
    void StopBeaconTimer() override { timerRunning_ = false; }
    std::filesystem::path DataFilePath() const override { return dataFilePath_; }
    UpdateType GetUpdateType() const override { return updateType_; }
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override { positions_.push_back(pos); }
    void ReportPortFailure(std::string_view errorText) override { log_.emplace_back(errorText); }
    // The rig sends whatever it is given.
    bool AskQuestion(std::string_view /*question*/) override { return true; }
    void TransferEnded(const TransferEnd& end) override { ends_.push_back(end); }
    const std::vector<TransferEnd>& Ends() const { return ends_; }

private:
    CHandControllerModel controller_;
    CTransferEngine engine_;
    std::filesystem::path dataFilePath_;
    UpdateType updateType_ = UpdateType::MainProgram;
    bool portOpen_ = false;
    std::vector<std::uint8_t> input_;
    std::vector<std::string> log_;
    std::string caption_ = std::string(texts::kStartCaption);
    bool openEnabled_ = true;
    bool timerRunning_ = false;
    int progressLower_ = 0;
    int progressUpper_ = 100;
    std::vector<int> positions_;
    std::vector<TransferEnd> ends_;
    std::size_t bytesSent_ = 0;
};

}  // namespace velmoro::sim
