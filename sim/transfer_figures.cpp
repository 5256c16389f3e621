#include "transfer_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmoro::sim {

double Percentile(const std::vector<double>& sorted, double share) {
    if (sorted.empty()) {
        return 0;
    }
    const auto rank =
        static_cast<std::size_t>(std::ceil(share * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

std::string FiguresText(const TransferFigures& figures, int baud) {
    const double ideal =
        static_cast<double>(figures.bytesIn + figures.bytesOut) * 10.0 / static_cast<double>(baud);
    std::vector<double> sorted = figures.reactionsMs;
    std::sort(sorted.begin(), sorted.end());
    char text[256];
    std::snprintf(text, sizeof text,
                  "transfer %.3f s, %zu bytes in, %zu bytes out, ideal %.3f s, ratio %.3f, "
                  "reaction median %.3f ms, p99 %.3f ms, %zu reactions",
                  figures.transferSeconds, figures.bytesIn, figures.bytesOut, ideal,
                  figures.transferSeconds / ideal, Percentile(sorted, 0.5),
                  Percentile(sorted, 0.99), sorted.size());
    return text;
}

}  // namespace velmoro::sim
