#include "transfer.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <system_error>

#include "catalog.h"
#include "data_block.h"
#include "preflight.h"
#include "sha256.h"

namespace velmoro {

namespace {

// The sweep erases sectors 1 to 4 of the first range, then 17 to 80 (the
// second range); 81 means it is done.
constexpr std::int32_t kSweepFirstRangeEnd = 5;
constexpr std::int32_t kSweepSecondRangeStart = 17;
constexpr std::int32_t kSweepDone = 81;

// A catalogue is read as text, whose byte order mark is not its own; an
// image is read byte for byte.
void OpenDataFile(CDataFile& file, std::span<const std::uint8_t> bytes, UpdateType type) {
    if (type == UpdateType::ObjectCatalog) {
        file.OpenText(bytes);
    } else {
        file.Open(bytes);
    }
}

bool IsErrorReply(std::string_view text) {
    for (std::string_view error : replies::kErrors) {
        if (text == error) {
            return true;
        }
    }
    return false;
}

}  // namespace

CTransferEngine::CTransferEngine(IPortFace& port, IWindowFace& window)
    : port_(port), window_(window) {}

void CTransferEngine::OnStartStop() {
    if (transfer_.busy) {
        Stop();
    } else {
        Start();
    }
}

std::int32_t CTransferEngine::CountUnits(std::span<const std::uint8_t> bytes, UpdateType type) {
    CDataFile file;
    OpenDataFile(file, bytes, type);
    std::int32_t units = 0;
    Payload piece{};
    while (!file.AtEnd()) {
        if (type == UpdateType::MainProgram) {
            file.ReadBytes(piece.data(), piece.size());
        } else {
            file.ReadLine();
        }
        ++units;
    }
    return units;
}

void CTransferEngine::Start() {
    window_.ClearLog();
    transfer_.file = DataFileFacts{};
    transfer_.blocksAcknowledged = 0;
    transfer_.lastSent.clear();
    transfer_.lastReceived.clear();
    std::string portError;
    if (!port_.PreparePort(portError)) {
        window_.ReportPortFailure(portError);
        Ended(Ending::Refused, Refusal::PortOpen, portError);
        return;
    }
    // busy stays off until nothing can hold the transfer back: a question
    // keeps events flowing, and none of them may reach the last transfer's
    // state.
    transfer_.updateType = window_.GetUpdateType();
    ReleaseDataFile();
    // The file is read here, whole and once. The checks, the question and
    // every block come from this copy: a file changed while the question is
    // open or while the transfer runs changes nothing of what is sent.
    FileBytes bytes;
    const std::filesystem::path path = window_.DataFilePath();
    // The report names the file wherever the program was started from.
    std::error_code absoluteError;
    const std::filesystem::path absolute = std::filesystem::absolute(path, absoluteError);
    const std::u8string pathText = (absoluteError ? path : absolute).u8string();
    transfer_.file.path.assign(pathText.begin(), pathText.end());
    std::error_code loadError;
    const FileLoad load = LoadDataFile(path, bytes, &loadError);
    if (load != FileLoad::Loaded) {
        const std::string text = DataFileLoadText(load, loadError);
        window_.AppendLog(text);
        const Refusal refusal = load == FileLoad::NotFound   ? Refusal::NoDataFile
                                : load == FileLoad::TooLarge ? Refusal::FileTooLarge
                                                             : Refusal::UnreadableFile;
        Ended(Ending::Refused, refusal, text);
        return;
    }
    transfer_.file.loaded = true;
    transfer_.file.size = bytes.size();
    transfer_.file.sha256 = Sha256Hex(bytes);
    const std::int32_t units = CountUnits(bytes, transfer_.updateType);
    // Nothing reaches the controller from a file that can never work, such
    // as a catalogue whose blocks would land outside the erased ranges; a
    // file that looks wrong goes only when the user says so.
    const Preflight preflight = CheckDataFile(bytes, transfer_.updateType, units);
    if (preflight.verdict == Preflight::Verdict::Refuse) {
        window_.AppendLog(preflight.reason);
        Ended(Ending::Refused, Refusal::FileRefused, preflight.reason);
        return;
    }
    if (preflight.verdict == Preflight::Verdict::Ask && !window_.AskQuestion(preflight.question)) {
        const std::string text = NotStartedText(preflight.reason);
        window_.AppendLog(text);
        Ended(Ending::Refused, Refusal::Declined, text);
        return;
    }
    // The question let events through, a lost port's among them: that port
    // is opened afresh, and one that cannot be ends the Start as above.
    if (!port_.GetPortOpen() && !port_.PreparePort(portError)) {
        window_.ReportPortFailure(portError);
        Ended(Ending::Refused, Refusal::PortOpen, portError);
        return;
    }
    transfer_.busy = true;

    if (!preflight.notice.empty()) {
        window_.AppendLog(preflight.notice);
    }
    window_.AppendLog(texts::kResetPrompt);
    // Moving the copy keeps its bytes where the checks read them.
    transfer_.dataBytes = std::move(bytes);
    OpenDataFile(transfer_.dataFile, transfer_.dataBytes, transfer_.updateType);
    window_.SetProgressRange(0, preflight.progressUpper);
    window_.SetProgressPos(0);
    transfer_.blockCounter = 0;
    transfer_.catalogPosition = CatalogPosition{};
    transfer_.state = ProtocolState::AwaitGreeting;
    transfer_.firstBlankCheck = true;
    window_.EnableOpenButton(false);
    window_.SetStartStopCaption(texts::kStopCaption);
    window_.StartBeaconTimer(kBeaconPeriodMs);
    transfer_.replyText.clear();

    // Bytes that came while no transfer ran answer nothing this one sent,
    // with one exception: a controller reset meanwhile (while the question
    // was open, say) greets the beacon the last transfer left running, then
    // ignores every further beacon. That greeting is this transfer's; the
    // rest is dropped, so that it cannot spoil the replies to come.
    std::string waiting;
    for (std::uint8_t byte : port_.GetInput()) {
        if (byte != 0) {
            waiting.push_back(static_cast<char>(byte));
        }
    }
    if (waiting.ends_with(replies::kGreeting)) {
        transfer_.replyText = replies::kGreeting;
        TakeReply();
    }
}

void CTransferEngine::OnTimeLimit(std::string detail) {
    if (transfer_.busy) {
        Stop(Ending::TimeLimit, std::move(detail));
    }
}

void CTransferEngine::Stop(Ending ending, std::string detail) {
    window_.ClearLog();
    transfer_.busy = false;
    window_.SetStartStopCaption(texts::kStartCaption);
    window_.EnableOpenButton(true);
    window_.AppendLog(texts::kStopped);
    transfer_.replyText.clear();
    ReleaseDataFile();
    Ended(ending, Refusal::None, std::move(detail));
}

void CTransferEngine::OnBeaconTimer() {
    if (port_.GetPortOpen()) {
        const std::array<std::uint8_t, 1> beacon{kBeaconByte};
        port_.SetOutput(std::span<const std::uint8_t>(beacon));
    } else {
        window_.StopBeaconTimer();
    }
}

void CTransferEngine::OnCommEvent() {
    const int event = port_.GetCommEvent();
    if (event == kCommEventPortLost && transfer_.busy) {
        // Nothing more can come from a port that is gone: end now rather
        // than wait for a reply for ever, and say what the system reported.
        EndWithError(texts::kErrorReply);
        const std::string said = port_.LossReason();
        std::string reason = said;
        if (!reason.empty()) {
            if (reason.back() == '.') {
                reason.pop_back();
            }
            window_.AppendLog(std::string(texts::kPortLostBefore) + reason +
                              std::string(texts::kPortLostAfter));
        }
        Ended(Ending::PortLost, Refusal::None, said);
        return;
    }
    if (event != kCommEventReceive || !transfer_.busy) {
        return;
    }
    for (std::uint8_t byte : port_.GetInput()) {
        if (byte != 0) {
            transfer_.replyText.push_back(static_cast<char>(byte));
        }
    }
    const std::string& reply = transfer_.replyText;
    transfer_.lastReceived.assign(
        reply.end() - static_cast<std::ptrdiff_t>(std::min(reply.size(), kLastReceivedBytes)),
        reply.end());
    TakeReply();
}

void CTransferEngine::TakeReply() {
    const std::string_view reply = transfer_.replyText;
    const ProtocolState state = transfer_.state;
    // A reply about the other memory cannot answer anything this transfer
    // sent; taking it would erase, check or write where this transfer must
    // not. It stays unmatched, like any reply out of place.
    const bool internal = !IsCatalogue();
    const bool external = IsCatalogue();
    // The rows in their order of comparison. Two rows lead to the image block
    // step, as two lead to the catalogue's.
    // NOLINTBEGIN(bugprone-branch-clone)
    if (IsErrorReply(reply)) {
        std::string said(reply);
        EndWithError(texts::kErrorReply);
        Ended(Ending::ErrorReply, Refusal::None, std::move(said));
    } else if (reply == replies::kGreeting && state == ProtocolState::AwaitGreeting) {
        window_.StopBeaconTimer();
        Send(commands::kGetVersion);
        transfer_.replyText.clear();
        transfer_.state = ProtocolState::AwaitVersion;
    } else if (reply == replies::kVersion && state == ProtocolState::AwaitVersion) {
        window_.AppendLog(texts::kConnected);
        window_.AppendLog(texts::kProcessing);
        if (IsCatalogue()) {
            Send(commands::kEraseFirstSector);
            transfer_.blockCounter = 1;
            transfer_.addressText = "81140";
        } else {
            Send(commands::kEraseInternal);
            transfer_.blockCounter = 0;
        }
        transfer_.replyText.clear();
        transfer_.state = ProtocolState::AwaitFirstErase;
    } else if (reply == replies::kEraseInternalOk && state == ProtocolState::AwaitFirstErase &&
               internal) {
        Send(commands::kBlankCheckInternal);
        transfer_.replyText.clear();
        transfer_.state = ProtocolState::AwaitBlankCheck;
    } else if (reply == replies::kEraseExternalOk && external &&
               ((state == ProtocolState::AwaitFirstErase && transfer_.firstBlankCheck) ||
                (state == ProtocolState::AwaitSectorErase && !transfer_.firstBlankCheck))) {
        Send(":CHKBL_EXT " + transfer_.addressText + "000#");
        transfer_.firstBlankCheck = false;
        transfer_.replyText.clear();
        transfer_.state = ProtocolState::AwaitBlankCheck;
    } else if (reply == replies::kBlankInternalOk && state == ProtocolState::AwaitBlankCheck &&
               internal) {
        ImageBlockStep();
    } else if (reply == replies::kBlankExternalOk && state == ProtocolState::AwaitBlankCheck &&
               external) {
        EraseSweepStep();
    } else if (reply == replies::kBlockReceivedOk && state == ProtocolState::AwaitBlockOrQuit) {
        BlockAcknowledgedStep();
    } else if (reply == replies::kWriteInternalOk && state == ProtocolState::AwaitWrite &&
               internal) {
        ImageBlockStep();
    } else if (reply == replies::kWriteExternalOk && state == ProtocolState::AwaitWrite &&
               external) {
        CatalogBlockStep();
    } else if (reply == replies::kQuitOk && state == ProtocolState::AwaitBlockOrQuit) {
        Finish();
    }
    // NOLINTEND(bugprone-branch-clone)
}

void CTransferEngine::EndTransfer(std::string_view logText) {
    transfer_.busy = false;
    window_.AppendLog(logText);
    window_.EnableOpenButton(true);
    window_.SetStartStopCaption(texts::kStartCaption);
}

void CTransferEngine::EndWithError(std::string_view logText) {
    EndTransfer(logText);
    transfer_.replyText.clear();
    ReleaseDataFile();
}

void CTransferEngine::Ended(Ending ending, Refusal refusal, std::string detail) {
    TransferEnd end;
    end.ending = ending;
    end.refusal = refusal;
    end.detail = std::move(detail);
    end.file = transfer_.file;
    end.blocksAcknowledged = transfer_.blocksAcknowledged;
    end.lastSent = transfer_.lastSent;
    end.lastReceived = transfer_.lastReceived;
    window_.TransferEnded(end);
}

void CTransferEngine::ReleaseDataFile() {
    transfer_.dataFile.Close();
    FileBytes().swap(transfer_.dataBytes);
}

void CTransferEngine::Finish() {
    // The reply stays in replyText: the end leaves it there.
    EndTransfer(texts::kFinished);
    Ended(Ending::Finished);
}

void CTransferEngine::ImageBlockStep() {
    SendNextBlock(false);
}

void CTransferEngine::CatalogBlockStep() {
    SendNextBlock(true);
}

void CTransferEngine::SendNextBlock(bool catalogue) {
    transfer_.state = ProtocolState::AwaitBlockOrQuit;
    transfer_.replyText.clear();
    CDataFile& file = transfer_.dataFile;
    if (file.AtEnd()) {
        ReleaseDataFile();
        Send(commands::kQuit);
        return;
    }
    Payload payload{};
    if (catalogue) {
        BuildCatalogPayload(file, transfer_.blockCounter, transfer_.catalogPosition, payload);
    } else {
        ReadImagePiece(file, payload);
    }
    Send(commands::kDownData);
    const DataBlock block = MakeDataBlock(payload);
    port_.SetOutput(std::span<const std::uint8_t>(block));
    transfer_.lastSent.assign(block.begin(), block.end());
}

void CTransferEngine::BlockAcknowledgedStep() {
    ++transfer_.blockCounter;
    ++transfer_.blocksAcknowledged;
    const std::int32_t counter = transfer_.blockCounter;
    if (IsCatalogue()) {
        window_.SetProgressPos(counter + kSweepProgressSteps);
        transfer_.addressText = BlockText(CatalogBlockIndex(counter, transfer_.catalogPosition));
        Send(":RAMTO_EXT " + transfer_.addressText + "00#");
    } else {
        window_.SetProgressPos(counter);
        transfer_.addressText = BlockText(ImageBlockIndex(counter));
        Send(":RAMTO_INT " + transfer_.addressText + "00#");
    }
    transfer_.replyText.clear();
    transfer_.catalogPosition.sectionEnded = false;
    transfer_.state = ProtocolState::AwaitWrite;
}

void CTransferEngine::EraseSweepStep() {
    std::int32_t& counter = transfer_.blockCounter;
    ++counter;
    if (counter % 4 == 0) {
        window_.SetProgressPos(counter / 4);
    }
    if (counter == kSweepFirstRangeEnd) {
        counter = kSweepSecondRangeStart;
    } else if (counter == kSweepDone) {
        counter = 0;
        CatalogBlockStep();
        return;
    }
    transfer_.addressText = SectorText(counter);
    Send(":ERASE_EXT " + transfer_.addressText + "000#");
    transfer_.replyText.clear();
    transfer_.state = ProtocolState::AwaitSectorErase;
}

void CTransferEngine::Send(std::string_view command) {
    port_.SetOutput(command);
    transfer_.lastSent = command;
}

}  // namespace velmoro
