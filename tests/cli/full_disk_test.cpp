#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <cstdio>
#include <string>

#include "engine/sitemap/sitemap_import.h"
#include "storage/history.h"
#include "storage/indexnow_settings.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_dir.h"

namespace quaymark {
namespace {

using ::testing::HasSubstr;

constexpr int kPages = 20000;

class NoFollower : public ImportObserver {
public:
    void SitemapStarted(const std::string&) override {}
    void AddressesFound(std::size_t) override {}
};

std::string Quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// The real announcer with its data directory on a small file system of its own that is all
// but full: the history stops before it takes the last room, gives its write-ahead log back,
// and the list of the sitemap's pages is saved.
TEST(FullDisk, TheHistoryNeverTakesTheRoomTheListNeeds) {
    testing::LoopbackServer<httplib::Server> site;
    const std::string root = "http://127.0.0.1:" + std::to_string(site.port()) + "/";
    std::string sitemap = "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (int i = 0; i < kPages; ++i) {
        sitemap += "<url><loc>" + root + "page/" + std::to_string(i) + "</loc></url>";
    }
    sitemap += "</urlset>";
    site->Get("/sitemap.xml", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(sitemap, "application/xml");
    });
    site->Post("/indexnow", [](const httplib::Request&, httplib::Response&) {});

    const testing::TempDir home;
    const std::filesystem::path staged = home.path() / "staged";
    const std::filesystem::path data = home.path() / "data";
    std::filesystem::create_directories(data);
    ASSERT_TRUE(SaveIndexNowSettings(home.path() / "config" / "quaymark" / "indexnow.conf",
                                     {.key = "0123456789abcdef",
                                      .endpoint = root + "indexnow",
                                      .enabled = true,
                                      .checkPages = false}));
    {
        History::Opened opened = History::Open(staged / "quaymark" / "history.sqlite");
        ASSERT_TRUE(opened.history);
        NoFollower follower;
        SitemapImporter importer({}, follower);
        ASSERT_EQ(opened.history->RememberSitemaps(SitemapsToRemember(importer.Import(root), 1)),
                  "");
    }
    // A file system of the test's own, in a mount namespace of its own, filled but for room
    // enough for the list and not for the history's rows.
    const std::string slack = "3072";
    const std::string script =
        "mount -t tmpfs -o size=16m tmpfs " + Quoted(data) + " && cp -a " + Quoted(staged) + "/. " +
        Quoted(data) + " && avail=$(df --output=avail -k " + Quoted(data) +
        " | tail -n 1) && dd if=/dev/zero of=" + Quoted(data / "filler") +
        " bs=1k count=$((avail - " + slack + ")) 2>/dev/null; XDG_DATA_HOME=" + Quoted(data) +
        " XDG_CONFIG_HOME=" + Quoted(home.path() / "config") +
        " XDG_CACHE_HOME=" + Quoted(home.path() / "cache") + " " + QUAYMARK_ANNOUNCER +
        " --quiet 2>&1; echo \"status $?\"; wc -l < " +
        Quoted(data / "quaymark" / "quaysites.dat") + "; ls " + Quoted(data / "quaymark");
    FILE* run = ::popen(("unshare -rm sh -c " + Quoted(script) + " 2>&1").c_str(), "r");
    ASSERT_NE(run, nullptr);
    std::string said;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, run) != nullptr) {
        said += buffer;
    }
    ASSERT_EQ(::pclose(run), 0) << said;
    EXPECT_THAT(said, HasSubstr("the history could not be kept: No space left on device"));
    EXPECT_THAT(said, HasSubstr("status 0\n" + std::to_string(kPages + 2) + "\n"))
        << "every page in the list, with the EOS line and the e-mail address";
    EXPECT_THAT(said, ::testing::Not(HasSubstr("history.sqlite-wal"))) << said;
}

}  // namespace
}  // namespace quaymark
