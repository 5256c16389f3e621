// Faults injected by the simulated controller: what the downloader must do in each.

#include <gtest/gtest.h>
