#pragma once

// One transfer of a data file into the hand controller: the command
// protocol, its state machine and the blocks it sends. Driven by three entry
// points, all called on one thread: the Start/Stop button, the 100 ms beacon
// timer and the serial receive event.

#include <cstdint>
#include <string>
#include <string_view>

#include "data_block.h"
#include "data_file.h"
#include "faces.h"

namespace velmoro {

// Protocol states: what the engine waits for.
enum class ProtocolState : std::uint8_t {
    AwaitGreeting = 0,     // ":OK#"; the beacon runs
    AwaitVersion = 1,      // ":English Ver1.0#"
    AwaitFirstErase = 2,   // ":EI_OK#", or ":EX_OK#" of sector 1
    AwaitBlankCheck = 3,   // ":BI_OK#" or ":BX_OK#"
    AwaitSectorErase = 4,  // ":EX_OK#" of a later sector
    AwaitWrite = 5,        // ":WI_OK#" or ":WE_OK#"
    AwaitBlockOrQuit = 6,  // ":RB_OK#" or ":QUIT_OK#"
};

inline constexpr int kBeaconPeriodMs = 100;
// The catalogue's erase sweep takes the first 20 steps of its progress range.
inline constexpr std::int32_t kSweepProgressSteps = 20;
inline constexpr std::uint8_t kBeaconByte = 0xAA;

namespace texts {
inline constexpr std::string_view kResetPrompt =
    "Please reset the KARVELIN(MORDAVEX),Waiting for connection ... \r\n";
inline constexpr std::string_view kStopped =
    "Please make sure everything is OK, then click \"Start Download\".\r\n";
inline constexpr std::string_view kConnected = "Connected.\r\n";
inline constexpr std::string_view kProcessing = "Processing ...   Please wait ...\r\n";
inline constexpr std::string_view kFinished = "Download successfully finished!\r\n";
inline constexpr std::string_view kErrorReply =
    "Error occurs! Transmission stop. Please check all the devices, then try again.\r\n";
// The line after kErrorReply when the port itself was lost, around what the
// system reported.
inline constexpr std::string_view kPortLostBefore = "The port was lost (";
inline constexpr std::string_view kPortLostAfter =
    "). Plug the adapter back in, choose its port again, then click \"Start Download\".\r\n";
inline constexpr std::string_view kStopCaption = "Stop Download(&D)";
inline constexpr std::string_view kStartCaption = "Start Download(&D)";
}  // namespace texts

namespace commands {
inline constexpr std::string_view kGetVersion = ":GET_VER00#";
inline constexpr std::string_view kEraseInternal = ":ERASE_INT#";
inline constexpr std::string_view kEraseFirstSector = ":ERASE_EXT 81140000#";
inline constexpr std::string_view kBlankCheckInternal = ":CHKBL_INT#";
inline constexpr std::string_view kDownData = ":DOWN DATA#";
inline constexpr std::string_view kQuit = ":QUIT_COMM#";
}  // namespace commands

namespace replies {
inline constexpr std::string_view kGreeting = ":OK#";
inline constexpr std::string_view kVersion = ":English Ver1.0#";
inline constexpr std::string_view kEraseInternalOk = ":EI_OK#";
inline constexpr std::string_view kEraseExternalOk = ":EX_OK#";
inline constexpr std::string_view kBlankInternalOk = ":BI_OK#";
inline constexpr std::string_view kBlankExternalOk = ":BX_OK#";
inline constexpr std::string_view kBlockReceivedOk = ":RB_OK#";
inline constexpr std::string_view kWriteInternalOk = ":WI_OK#";
inline constexpr std::string_view kWriteExternalOk = ":WE_OK#";
inline constexpr std::string_view kQuitOk = ":QUIT_OK#";
inline constexpr std::string_view kErrors[] = {":EI_ERR#", ":BI_ERR#", ":RB_ERR#", ":WI_ERR#",
                                               ":EX_ERR#", ":BX_ERR#", ":WE_ERR#"};
}  // namespace replies

struct TransferState {
    bool busy = false;
    ProtocolState state = ProtocolState::AwaitGreeting;
    std::string replyText;
    std::int32_t blockCounter = 0;
    // The data file as Start read it, and the reading of it that the blocks
    // are filled from.
    FileBytes dataBytes;
    CDataFile dataFile;
    bool firstBlankCheck = true;
    CatalogPosition catalogPosition;
    std::string addressText;
    // The update type as it was at Start; the whole transfer follows it even
    // when the user picks the other one while it runs.
    UpdateType updateType = UpdateType::MainProgram;
    // What the end of this transfer will tell: the file, the blocks
    // acknowledged, the last bytes each way.
    DataFileFacts file;
    std::int32_t blocksAcknowledged = 0;
    std::string lastSent;
    std::string lastReceived;
};

// A report keeps this much of what came last from the controller: a reply
// is a few bytes, and a line that never makes one must not fill the report.
inline constexpr std::size_t kLastReceivedBytes = 256;

class CTransferEngine {
public:
    CTransferEngine(IPortFace& port, IWindowFace& window);

    void OnStartStop();
    void OnBeaconTimer();
    void OnCommEvent();
    // The command line's --timeout: a transfer under way stops as Stop
    // stops it, and its end says that the time limit did, with detail
    // ("no reply from the hand controller for 30 s").
    void OnTimeLimit(std::string detail);

    const TransferState& State() const { return transfer_; }

    // Units of the data file as Start counts them: reads of 1024 bytes, or
    // catalogue line pieces, up to and including the read that sets the
    // end-of-file mark.
    static std::int32_t CountUnits(std::span<const std::uint8_t> bytes, UpdateType type);

private:
    void Start();
    void Stop(Ending ending = Ending::Stopped, std::string detail = {});
    // The steps every end shares: busy off, the log line, the buttons back.
    void EndTransfer(std::string_view logText);
    // Ends a transfer that cannot go on, with a log line.
    void EndWithError(std::string_view logText);
    // Tells the window how this Start ended.
    void Ended(Ending ending, Refusal refusal = Refusal::None, std::string detail = {});
    void ImageBlockStep();
    void CatalogBlockStep();
    void BlockAcknowledgedStep();
    void EraseSweepStep();
    void Finish();
    // Lets go of the data file's copy.
    void ReleaseDataFile();
    // Matches the reply received so far against the reply table.
    void TakeReply();
    // Reads the next data block, or sends ":QUIT_COMM#" once the file is
    // exhausted.
    void SendNextBlock(bool catalogue);
    void Send(std::string_view command);
    bool IsCatalogue() const { return transfer_.updateType == UpdateType::ObjectCatalog; }

    IPortFace& port_;
    IWindowFace& window_;
    TransferState transfer_;
};

}  // namespace velmoro
