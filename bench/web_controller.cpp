// The simulated controller inside the browser, for the page's bench only:
// the protocol model of velmoro-hc-sim with the line paced at its rate, so
// that the page's replies reach it and its answers reach the page with no
// socket, terminal or other process in between. The bench's script
// (bench/web_controller_glue.js) feeds it the page's bytes with the moment
// they were written and hands the page each reply when it is due, both on
// the page's clock (milliseconds, performance.now()).
//
// The pacing and the figures follow CPtyController on a paced line without
// faults: each byte the host writes is taken a byte's time after the one
// before it, a reply starts when its command has been taken and the line is
// free, and reaches the host when its last byte has crossed; the transfer
// runs from the greeting handed over to ":QUIT_OK#" handed over, and its
// ideal is the bytes after the greeting both ways at ten bits a byte.

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "hc_model.h"
#include "transfer_figures.h"

namespace {

using velmoro::sim::CHandControllerModel;

struct Piece {
    double due = 0;
    std::string bytes;
    bool greeting = false;
    bool quit = false;
    bool error = false;
};

class CPacedController {
public:
    explicit CPacedController(int baud) : baud_(baud), byteMs_(10'000.0 / baud) {}

    void Receive(const std::uint8_t* bytes, std::size_t count, double readAt) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t byte = bytes[i];
            if (greeted_ && !model_.Ended()) {
                ++bytesIn_;
            }
            // Beacons still in flight are not the host's answer to the greeting.
            if (reactionDue_ && byte != velmoro::sim::kBeaconByteValue) {
                reactionDue_ = false;
                reactions_.push_back(readAt - reactionFrom_);
            }
            lastArrival_ = std::max(lastArrival_, readAt) + byteMs_;
            const std::string reply = model_.Receive(&byte, 1);
            if (!reply.empty()) {
                Schedule(reply, lastArrival_);
            }
        }
    }

    double NextDue() const { return pieces_.empty() ? -1 : pieces_.front().due; }

    // The replies due by `now`, at most `capacity` bytes of them, whole.
    std::size_t Take(double now, std::uint8_t* out, std::size_t capacity) {
        std::size_t taken = 0;
        while (!pieces_.empty() && pieces_.front().due <= now &&
               taken + pieces_.front().bytes.size() <= capacity) {
            const Piece piece = std::move(pieces_.front());
            pieces_.pop_front();
            std::memcpy(out + taken, piece.bytes.data(), piece.bytes.size());
            taken += piece.bytes.size();
            if (greeted_ && !finished_) {
                bytesOut_ += piece.bytes.size();
                lateness_.push_back(now - piece.due);
            }
            Written(piece, now);
        }
        return taken;
    }

    // The figures in the words of velmoro-hc-sim --stats, then the model's
    // summary and its findings, one a line.
    std::string Summary() const {
        std::string text;
        char line[160];
        if (finished_) {
            velmoro::sim::TransferFigures figures;
            figures.transferSeconds = (quitAt_ - greetedAt_) / 1000.0;
            figures.bytesIn = bytesIn_;
            figures.bytesOut = bytesOut_;
            figures.reactionsMs = reactions_;
            text += "stats: " + velmoro::sim::FiguresText(figures, baud_) + "\n";
            // What the bench's own timing adds: each reply handed over after
            // its last byte would have reached the page.
            std::vector<double> sorted = lateness_;
            std::sort(sorted.begin(), sorted.end());
            double sum = 0;
            for (const double late : sorted) {
                sum += late;
            }
            std::snprintf(
                line, sizeof line,
                "replies handed over late by: median %.3f ms, p99 %.3f ms, in all %.3f s\n",
                velmoro::sim::Percentile(sorted, 0.5), velmoro::sim::Percentile(sorted, 0.99),
                sum / 1000.0);
        } else {
            std::snprintf(line, sizeof line, "stats: no finished transfer\n");
        }
        text += line;
        std::snprintf(line, sizeof line, "%s; %zu commands, %zu blocks written, %zu violations\n",
                      finished_    ? "finished"
                      : errorSent_ ? "error reply sent"
                                   : "unfinished",
                      model_.Commands().size(), model_.Internal().size() + model_.External().size(),
                      model_.Violations().size());
        text += line;
        for (const std::string& violation : model_.Violations()) {
            text += "violation: " + violation + "\n";
        }
        return text;
    }

    // The internal flash from its base to the last block written, 0xFF
    // where nothing was written, as velmoro-hc-sim --flash-out writes it.
    std::vector<std::uint8_t> InternalFlash() const {
        const auto& blocks = model_.Internal();
        const std::uint32_t base = velmoro::sim::kInternalFlashBase;
        const std::uint32_t end =
            blocks.empty() ? base : blocks.rbegin()->first + velmoro::sim::kBlockBytes;
        std::vector<std::uint8_t> image(end - base, 0xFF);
        for (const auto& [address, payload] : blocks) {
            if (address >= base && address + payload.size() <= end) {
                std::copy(payload.begin(), payload.end(), image.begin() + (address - base));
            }
        }
        return image;
    }

private:
    void Schedule(const std::string& reply, double processedAt) {
        Piece piece;
        piece.bytes = reply;
        piece.greeting = reply == ":OK#";
        piece.quit = reply == ":QUIT_OK#";
        piece.error = reply.find("_ERR#") != std::string::npos;
        if (piece.error) {
            model_.Abort();
        }
        const double start = std::max(processedAt, lineFreeAt_);
        piece.due = std::max(start + byteMs_ * static_cast<double>(reply.size()), lastDue_);
        lastDue_ = lineFreeAt_ = piece.due;
        pieces_.push_back(std::move(piece));
    }

    void Written(const Piece& piece, double writtenAt) {
        reactionDue_ = !piece.quit && !piece.error;
        reactionFrom_ = writtenAt;
        if (piece.greeting && !greeted_) {
            greeted_ = true;
            greetedAt_ = writtenAt;
        } else if (piece.quit) {
            finished_ = greeted_;
            quitAt_ = writtenAt;
        } else if (piece.error) {
            errorSent_ = true;
        }
    }

    int baud_;
    double byteMs_;
    CHandControllerModel model_;
    std::deque<Piece> pieces_;  // a reply at a time: the host waits for each
    double lastArrival_ = 0;
    double lineFreeAt_ = 0;
    double lastDue_ = 0;
    bool greeted_ = false;
    bool finished_ = false;
    bool errorSent_ = false;
    double greetedAt_ = 0;
    double quitAt_ = 0;
    std::size_t bytesIn_ = 0;
    std::size_t bytesOut_ = 0;
    bool reactionDue_ = false;
    double reactionFrom_ = 0;
    std::vector<double> reactions_;
    std::vector<double> lateness_;
};

CPacedController controller(115200);
std::string summary;
std::vector<std::uint8_t> flash;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void velmoro_bench_receive(const std::uint8_t* bytes, std::size_t count,
                                                double readAt) {
    controller.Receive(bytes, count, readAt);
}

// The moment the next reply is due; negative when none waits.
EMSCRIPTEN_KEEPALIVE double velmoro_bench_next_due() {
    return controller.NextDue();
}

EMSCRIPTEN_KEEPALIVE std::size_t velmoro_bench_take(double now, std::uint8_t* out,
                                                    std::size_t capacity) {
    return controller.Take(now, out, capacity);
}

EMSCRIPTEN_KEEPALIVE const char* velmoro_bench_summary() {
    summary = controller.Summary();
    return summary.c_str();
}

// The internal flash image; its size through velmoro_bench_flash_size().
EMSCRIPTEN_KEEPALIVE const std::uint8_t* velmoro_bench_flash() {
    flash = controller.InternalFlash();
    return flash.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t velmoro_bench_flash_size() {
    return flash.size();
}
}
