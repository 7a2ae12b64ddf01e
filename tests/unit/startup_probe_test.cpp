// The start-up choice of the default port, checked in processes started with a known port map.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "settings/port_settings.h"

namespace quenlet {
namespace {

// Run by ctest under `rig.sh with-ports`, which maps a chosen set of ports before the process starts
// and names the port the start-up probe must choose ("none" for no port at all).
TEST(StartupProbe, DefaultPortIsTheFirstPresentOne) {
    const char* expected = std::getenv("QUENLET_EXPECT_PORT");
    if (expected == nullptr) GTEST_SKIP() << "only meaningful under rig.sh with-ports";
    const std::string want = std::string(expected) == "none" ? "" : expected;
    EXPECT_EQ(g_settings.portName, want);
    EXPECT_EQ(g_settings.baudRate, 9600);
}

}  // namespace
}  // namespace quenlet
