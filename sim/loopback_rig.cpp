#include "loopback_rig.h"

namespace velmoro::sim {

CLoopbackRig::CLoopbackRig(int beaconsBeforeGreeting)
    : controller_(beaconsBeforeGreeting), engine_(*this, *this) {}

bool CLoopbackRig::PreparePort(std::string& /*errorText*/) {
    portOpen_ = true;
    input_.clear();
    return true;
}

void CLoopbackRig::SetOutput(std::string_view text) {
    SetOutput(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                            text.size()));
}

void CLoopbackRig::SetOutput(std::span<const std::uint8_t> bytes) {
    bytesSent_ += bytes.size();
    const std::string replies = controller_.Receive(bytes.data(), bytes.size());
    input_.insert(input_.end(), replies.begin(), replies.end());
}

std::vector<std::uint8_t> CLoopbackRig::GetInput() {
    std::vector<std::uint8_t> taken;
    taken.swap(input_);
    return taken;
}

void CLoopbackRig::SetProgressRange(int lower, int upper) {
    progressLower_ = lower;
    progressUpper_ = upper;
}

void CLoopbackRig::Run(int maxEvents) {
    engine_.OnStartStop();
    for (int event = 0; event < maxEvents && engine_.State().busy; ++event) {
        if (!input_.empty()) {
            engine_.OnCommEvent();
        } else if (timerRunning_) {
            engine_.OnBeaconTimer();
        } else {
            break;  // nothing will happen any more: the engine waits for a reply
        }
    }
}

}  // namespace velmoro::sim
