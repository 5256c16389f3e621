#pragma once

// Recording fakes of the engine's two faces. Both write into one trace so
// that tests can check the order of what the engine did; the port also keeps
// every write and the bytes waiting to be received.

#include <functional>
#include <string>
#include <vector>

#include "faces.h"
#include "transfer.h"

namespace velmoro::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline std::string ToText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class FakePort : public IPortFace {
public:
    explicit FakePort(std::vector<std::string>& trace) : trace_(trace) {}

    bool PreparePort(std::string& errorText) override {
        trace_.push_back("prepare");
        ++prepareCount;
        if (!openError.empty()) {
            errorText = openError;
            return false;
        }
        open = true;
        return true;
    }
    bool GetPortOpen() const override { return open; }
    void SetOutput(std::string_view text) override { Write(ToBytes(text)); }
    void SetOutput(std::span<const std::uint8_t> bytes) override {
        Write(Bytes(bytes.begin(), bytes.end()));
    }
    int GetCommEvent() const override { return commEvent; }
    std::vector<std::uint8_t> GetInput() override {
        Bytes taken;
        taken.swap(input);
        return taken;
    }
    std::string LossReason() const override { return lossReason; }

    // The writes since the last call, each as text.
    std::vector<std::string> TakeWrites() {
        std::vector<std::string> taken;
        for (std::size_t i = taken_; i < writes.size(); ++i) {
            taken.push_back(ToText(writes[i]));
        }
        taken_ = writes.size();
        return taken;
    }

    bool open = false;
    std::string openError;  // PreparePort fails with it when not empty
    int prepareCount = 0;
    std::string lossReason;
    int commEvent = kCommEventReceive;
    Bytes input;
    std::vector<Bytes> writes;
    // Answers every write, as a controller would; what it returns is queued
    // as received input.
    std::function<std::string(const Bytes&)> responder;

private:
    void Write(Bytes bytes) {
        if (responder) {
            const std::string reply = responder(bytes);
            input.insert(input.end(), reply.begin(), reply.end());
        }
        writes.push_back(std::move(bytes));
    }

    std::vector<std::string>& trace_;
    std::size_t taken_ = 0;
};

class FakeWindow : public IWindowFace {
public:
    explicit FakeWindow(std::vector<std::string>& trace) : trace_(trace) {}

    void ClearLog() override {
        trace_.push_back("clear");
        log.clear();
    }
    void AppendLog(std::string_view text) override {
        trace_.push_back("append " + std::string(text));
        log.emplace_back(text);
    }
    void SetStartStopCaption(std::string_view text) override {
        trace_.push_back("caption " + std::string(text));
        caption = text;
    }
    void EnableOpenButton(bool enable) override {
        trace_.push_back(enable ? "enable open" : "disable open");
        openEnabled = enable;
    }
    void StartBeaconTimer(int periodMs) override {
        trace_.push_back("timer start " + std::to_string(periodMs));
        timerRunning = true;
    }
    void StopBeaconTimer() override {
        trace_.push_back("timer stop");
        timerRunning = false;
    }
    std::filesystem::path DataFilePath() const override { return dataFilePath; }
    UpdateType GetUpdateType() const override { return updateType; }
    void SetProgressRange(int lower, int upper) override {
        trace_.push_back("range " + std::to_string(lower) + " " + std::to_string(upper));
        rangeLower = lower;
        rangeUpper = upper;
    }
    void SetProgressPos(int pos) override {
        trace_.push_back("pos " + std::to_string(pos));
        positions.push_back(pos);
    }
    void ReportPortFailure(std::string_view errorText) override {
        trace_.push_back("port failure " + std::string(errorText));
        portFailure = errorText;
    }
    bool AskQuestion(std::string_view question) override {
        trace_.push_back("question " + std::string(question));
        questions.emplace_back(question);
        if (whileAsking) {
            whileAsking();
        }
        return answer;
    }
    // Kept apart from the trace, which tests compare line by line.
    void TransferEnded(const TransferEnd& end) override { ends.push_back(end); }

    std::vector<TransferEnd> ends;
    std::vector<std::string> log;
    std::string caption = std::string(texts::kStartCaption);
    bool openEnabled = true;
    bool timerRunning = false;
    int rangeLower = 0;
    int rangeUpper = 100;
    std::vector<int> positions;
    std::string portFailure;
    std::vector<std::string> questions;
    bool answer = false;                // to every question; No is the default
    std::function<void()> whileAsking;  // what happens while a question is open
    std::filesystem::path dataFilePath;
    UpdateType updateType = UpdateType::MainProgram;

private:
    std::vector<std::string>& trace_;
};

// An engine between the two fakes.
struct EngineRig {
    std::vector<std::string> trace;
    FakePort port{trace};
    FakeWindow window{trace};
    CTransferEngine engine{port, window};

    // One receive event carrying these bytes.
    void Receive(std::string_view bytes) {
        port.input.insert(port.input.end(), bytes.begin(), bytes.end());
        engine.OnCommEvent();
    }

    // Plays the event loop until nothing more happens: waiting input is a
    // receive event, otherwise a running timer ticks.
    void Pump(int maxEvents = 100000) {
        for (int i = 0; i < maxEvents && engine.State().busy; ++i) {
            if (!port.input.empty()) {
                engine.OnCommEvent();
            } else if (window.timerRunning) {
                engine.OnBeaconTimer();
            } else {
                return;
            }
        }
    }
};

}  // namespace velmoro::testing
