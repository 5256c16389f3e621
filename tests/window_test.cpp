// What the desktop front ends share about the main window.

#include <gtest/gtest.h>

#include "main_window.h"

namespace velmoro::window {
namespace {

TEST(HelpPage, SitsBesideTheProgram) {
    EXPECT_EQ(HelpPagePath("D:\\Tools\\Downloader.exe"), "D:\\Tools\\Help.htm");
    EXPECT_EQ(HelpPagePath("D:\\Downloader.exe"), "D:\\Help.htm");
    EXPECT_EQ(HelpPagePath("/opt/velmoro/velmoro-downloader"), "/opt/velmoro/Help.htm");
    EXPECT_EQ(HelpPagePath("velmoro-downloader"), "Help.htm");
}

}  // namespace
}  // namespace velmoro::window
