#include "storage/daily_timer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

// systemd's own checker takes the units, with an announcer whose path needs quoting.
TEST(DailyTimer, UnitsPassSystemdAnalyzeVerify) {
    const testing::TempDir dir;
    const std::filesystem::path bin = dir.path() / "my tools 100%";
    std::filesystem::create_directories(bin);
    std::filesystem::copy_file("/bin/true", bin / "quaymark-announce");
    const std::filesystem::path units = dir.path() / "units";
    ASSERT_TRUE(WriteTimerUnits(units, bin / "quaymark-announce"));
    EXPECT_TRUE(TimerUnitsWritten(units));
    const std::string command = "systemd-analyze verify --man=no '" +
                                (units / kTimerServiceName).string() + "' '" +
                                (units / kTimerName).string() + "' 2>&1";
    FILE* verify = ::popen(command.c_str(), "r");
    ASSERT_NE(verify, nullptr);
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, verify) != nullptr) {
        said += buffer;
    }
    EXPECT_EQ(::pclose(verify), 0) << said;
    EXPECT_EQ(said, "");
    ASSERT_TRUE(RemoveTimerUnits(units));
    EXPECT_FALSE(TimerUnitsWritten(units));
    EXPECT_TRUE(RemoveTimerUnits(units)) << "gone already is no failure";
}

}  // namespace
}  // namespace quaymark
