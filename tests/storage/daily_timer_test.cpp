#include "storage/daily_timer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

// systemd's own checker takes the units, with announcers whose paths need quoting or hold
// what systemd reads as a specifier or a variable elsewhere.
TEST(DailyTimer, UnitsPassSystemdAnalyzeVerify) {
    const testing::TempDir dir;
    for (const char* folder : {"my tools 100%", "cost$5", "a;b`c&d$$e"}) {
        SCOPED_TRACE(folder);
        const std::filesystem::path bin = dir.path() / folder;
        std::filesystem::create_directories(bin);
        std::filesystem::copy_file("/bin/true", bin / "quaymark-announce");
        const std::filesystem::path units = dir.path() / "units";
        ASSERT_FALSE(RefusedBySystemd(bin / "quaymark-announce"));
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
}

// A path systemd refuses outright gets no unit at all; the crontab line quotes it for the
// shell and keeps cron from reading its "%" as a line end.
TEST(DailyTimer, PathsSystemdRefusesGetNoUnit) {
    const testing::TempDir dir;
    for (const char* folder : {"it's", "say \"hi\"", "back\\slash", "tab\there"}) {
        SCOPED_TRACE(folder);
        const std::filesystem::path announcer = dir.path() / folder / "quaymark-announce";
        EXPECT_TRUE(RefusedBySystemd(announcer));
        EXPECT_FALSE(WriteTimerUnits(dir.path() / "units", announcer));
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "units"));
    }
    EXPECT_EQ(CrontabLine("/opt/it's 100%/quaymark-announce"),
              "17 9 * * * '/opt/it'\\''s 100\\%/quaymark-announce' --scheduled --quiet");
}

}  // namespace
}  // namespace quaymark
