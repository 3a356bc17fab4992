#include "storage/indexnow_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

TEST(IndexNowSettings, RoundTripInAFileOfTheUsersAloneAndNoInvalidKey) {
    testing::TempDir dir;
    const std::filesystem::path file = dir.path() / "quaymark" / "indexnow.conf";
    IndexNowSettings loaded;
    EXPECT_TRUE(LoadIndexNowSettings(file, loaded).Missing());
    EXPECT_FALSE(loaded.enabled) << "no file: IndexNow is off";
    EXPECT_EQ(loaded.endpoint, "https://api.indexnow.org/indexnow");

    const IndexNowSettings saved{"Key-0123456789abcdef", "https://yandex.com/indexnow", true, {}};
    ASSERT_TRUE(SaveIndexNowSettings(file, saved));
    EXPECT_EQ(testing::ReadFileBytes(file),
              "[indexnow]\nkey=Key-0123456789abcdef\nendpoint=https://yandex.com/indexnow\n"
              "enabled=true\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    ASSERT_TRUE(LoadIndexNowSettings(file, loaded));
    EXPECT_EQ(loaded.key, saved.key);
    EXPECT_EQ(loaded.endpoint, saved.endpoint);
    EXPECT_TRUE(loaded.enabled);
    EXPECT_EQ(loaded.keyLocation, "") << "a file of before key locations has none";

    EXPECT_FALSE(loaded.onlyNewOrChanged);

    IndexNowSettings located = saved;
    located.keyLocation = "https://example.com/keys/k.txt";
    located.onlyNewOrChanged = true;
    ASSERT_TRUE(SaveIndexNowSettings(file, located));
    EXPECT_EQ(testing::ReadFileBytes(file),
              "[indexnow]\nkey=Key-0123456789abcdef\nendpoint=https://yandex.com/indexnow\n"
              "enabled=true\nkeyLocation=https://example.com/keys/k.txt\nonlyNewOrChanged=true\n");
    ASSERT_TRUE(LoadIndexNowSettings(file, loaded));
    EXPECT_EQ(loaded.keyLocation, located.keyLocation);
    EXPECT_TRUE(loaded.onlyNewOrChanged);
    EXPECT_TRUE(loaded.classic) << "a file of before the channels sends to the classic pages";

    IndexNowSettings modernOnly = saved;
    modernOnly.classic = false;
    ASSERT_TRUE(SaveIndexNowSettings(file, modernOnly));
    EXPECT_EQ(testing::ReadFileBytes(file),
              "[indexnow]\nkey=Key-0123456789abcdef\nendpoint=https://yandex.com/indexnow\n"
              "enabled=true\n[classic]\nclassic=false\n");
    ASSERT_TRUE(LoadIndexNowSettings(file, loaded));
    EXPECT_FALSE(loaded.classic);

    for (const char* bad : {"short", "has space in it", "under_score_key", "ключключключ"}) {
        EXPECT_FALSE(IsValidIndexNowKey(bad)) << bad;
        EXPECT_FALSE(SaveIndexNowSettings(file, {bad, saved.endpoint, true, {}})) << bad;
    }
    EXPECT_TRUE(IsValidIndexNowKey(std::string(128, 'a')));
    EXPECT_FALSE(IsValidIndexNowKey(std::string(129, 'a')));
    testing::WriteFileBytes(file, "key=bad key\nenabled=true\n");
    IndexNowSettings edited;
    ASSERT_TRUE(LoadIndexNowSettings(file, edited));
    EXPECT_EQ(edited.key, "");
    EXPECT_FALSE(edited.enabled) << "no valid key, no IndexNow";
}

// A file of before the sections reads as it always did; in a file with them, a setting under
// another's heading is passed over, as an unknown line is.
TEST(IndexNowSettings, ReadsTodaysFlatFileAndEachSettingOnlyInItsSection) {
    testing::TempDir dir;
    const std::filesystem::path file = dir.path() / "indexnow.conf";
    testing::WriteFileBytes(file,
                            "key=Key-0123456789abcdef\nendpoint=https://yandex.com/indexnow\n"
                            "enabled=true\nclassic=false\ncheckPages=false\ngoogle=true\n");
    IndexNowSettings flat;
    ASSERT_TRUE(LoadIndexNowSettings(file, flat));
    EXPECT_TRUE(flat.enabled);
    EXPECT_FALSE(flat.classic);
    EXPECT_FALSE(flat.checkPages);
    EXPECT_TRUE(flat.google);

    ASSERT_TRUE(SaveIndexNowSettings(file, flat));
    EXPECT_EQ(testing::ReadFileBytes(file),
              "[indexnow]\nkey=Key-0123456789abcdef\nendpoint=https://yandex.com/indexnow\n"
              "enabled=true\n[classic]\nclassic=false\n[checks]\ncheckPages=false\n"
              "[google]\ngoogle=true\n");
    IndexNowSettings again;
    ASSERT_TRUE(LoadIndexNowSettings(file, again));
    EXPECT_EQ(again.key, flat.key);
    EXPECT_FALSE(again.classic);
    EXPECT_FALSE(again.checkPages);
    EXPECT_TRUE(again.google);

    testing::WriteFileBytes(file,
                            "[google]\nkey=Key-0123456789abcdef\nenabled=true\n"
                            "[indexnow]\ngoogle=true\n[future]\nclassic=false\n");
    IndexNowSettings misplaced;
    ASSERT_TRUE(LoadIndexNowSettings(file, misplaced));
    EXPECT_EQ(misplaced.key, "");
    EXPECT_FALSE(misplaced.enabled);
    EXPECT_FALSE(misplaced.google);
    EXPECT_TRUE(misplaced.classic);
}

}  // namespace
}  // namespace quaymark
