#pragma once

// The figures of one finished transfer against the simulated controller, in
// the words velmoro-hc-sim --stats prints and the benchmarks read: the
// transfer's time against the ideal wire time of the bytes it moved, and
// the host's reaction times. Written once for each place the controller
// runs (on a pseudo-terminal, inside the page's bench).

#include <cstddef>
#include <string>
#include <vector>

namespace velmoro::sim {

struct TransferFigures {
    // From the greeting handed to the host to ":QUIT_OK#" handed to it.
    double transferSeconds = 0;
    // Bytes read after the greeting, up to ":QUIT_COMM#" (beacons in flight
    // included), and bytes written after it, up to ":QUIT_OK#".
    std::size_t bytesIn = 0;
    std::size_t bytesOut = 0;
    // For each reply but the quit and the errors: from its last byte handed
    // over to the first byte of the host's next command.
    std::vector<double> reactionsMs;
};

// Nearest rank: always a value that was measured, never an interpolation.
// `sorted` is in ascending order; 0 when it is empty.
double Percentile(const std::vector<double>& sorted, double share);

// "transfer 6.146 s, 68684 bytes in, 949 bytes out, ideal 6.045 s, ratio
// 1.017, reaction median 0.200 ms, p99 1.300 ms, 134 reactions": the ideal
// time at ten bits a byte (start, eight data bits, stop) at `baud`.
std::string FiguresText(const TransferFigures& figures, int baud);

}  // namespace velmoro::sim
