#include "ui/channels_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

#include "tests/support/fake_google.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tls_server.h"
#include "tests/ui/desktop_recorder.h"
#include "tests/ui/modal_driver.h"
#include "ui/account_dialog.h"
#include "ui/gate_dialog.h"

namespace quaymark::ui {
namespace {

using ::testing::ElementsAre;

// The window as a user goes through it: an invalid key refused, a generated one, the key
// file saved, the sites checked against a TLS server of the test, and OK.
TEST(ChannelsWindow, TakesOnlyAValidKeyAndChecksEverySiteOfTheList) {
    quaymark::testing::TlsServer sites;
    std::string served;
    sites->Get(R"(/(\w+)\.txt)", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("Host").rfind("good.example.test", 0) == 0) {
            response.set_content(served, "text/plain");
        } else {
            response.status = 404;
        }
    });
    // Over http nothing answers: port 1 refuses.
    RunRouting routing{{{"good.example.test:443", sites.port()},
                        {"bare.example.test:443", sites.port()},
                        {"good.example.test:80", 1},
                        {"bare.example.test:80", 1}},
                       {},
                       quaymark::testing::TlsServer::CaFile()};
    CChannelsDlg dialog({}, false,
                        {"https://good.example.test/a", "https://good.example.test/b",
                         "https://bare.example.test/", "ftp://elsewhere/"},
                        routing);
    testing::DesktopRecorder desktop;
    auto* key = dialog.controls().Get<QLineEdit>("key");
    auto* endpoint = dialog.controls().Get<QComboBox>("endpoint");
    EXPECT_EQ(endpoint->currentText(), "https://api.indexnow.org/indexnow");
    EXPECT_EQ(endpoint->count(), 6) << "the shared endpoint and the engines' own";

    key->setText("not a key");
    dialog.controls().Get<QCheckBox>("enabled")->setChecked(true);
    dialog.show();
    dialog.controls().Get<QPushButton>("ok")->click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_THAT(desktop.messages[0].text.toStdString(), ::testing::StartsWith("The key must be"));
    EXPECT_TRUE(dialog.isVisible()) << "an invalid key is not taken";

    dialog.controls().Get<QPushButton>("generate")->click();
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{32}$").match(key->text()).hasMatch());
    served = key->text().toStdString() + "\r\n";

    quaymark::testing::TempDir dir;
    const QString keyFile = QString::fromStdString((dir.path() / "key.txt").string());
    SetSaveFileHandler([&](const QString&, const QString& name) {
        EXPECT_EQ(name, key->text() + ".txt");
        return keyFile;
    });
    dialog.controls().Get<QPushButton>("saveKeyFile")->click();
    SetSaveFileHandler({});
    EXPECT_EQ(quaymark::testing::ReadFileBytes(dir.path() / "key.txt"), key->text().toStdString());

    dialog.controls().Get<QPushButton>("check")->click();
    QStringList lines;
    auto* list = dialog.controls().Get<QListWidget>("checkList");
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    EXPECT_THAT(lines, ElementsAre("good.example.test: served exactly",
                                   "bare.example.test: not found (404)"));

    endpoint->setCurrentText("http://plain.example/indexnow");
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_THAT(desktop.messages.back().text.toStdString(),
                ::testing::StartsWith("The endpoint must be an https:// address"));
    endpoint->setCurrentIndex(2);
    dialog.controls().Get<QLineEdit>("keyLocation")->setText("https://good.example.test/k.html");
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_THAT(desktop.messages.back().text.toStdString(),
                ::testing::StartsWith("The key location must be"));
    dialog.controls().Get<QLineEdit>("keyLocation")->setText("https://good.example.test/k.txt");
    auto* classic = dialog.controls().Get<QCheckBox>("classic");
    EXPECT_TRUE(classic->isChecked()) << "the classic pages are on unless the user says not";
    classic->setChecked(false);
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.settings().key, key->text().toStdString());
    EXPECT_TRUE(dialog.settings().enabled);
    EXPECT_EQ(dialog.settings().endpoint, "https://yandex.com/indexnow");
    EXPECT_EQ(dialog.settings().keyLocation, "https://good.example.test/k.txt");
    EXPECT_FALSE(dialog.settings().classic);
}

// Google's key: a file that is no key is refused with its reason; a key shows only its
// account, and its copy is kept the user's alone whatever mode an earlier one had.
TEST(ChannelsWindow, TakesAServiceAccountKeyAndKeepsItPrivate) {
    const quaymark::testing::FakeGoogle google;
    quaymark::testing::TempDir dir;
    const std::filesystem::path chosen = dir.path() / "chosen.json";
    CChannelsDlg dialog({}, false, {}, {});
    testing::DesktopRecorder desktop;
    SetOpenFileHandler([&](const QString&) { return QString::fromStdString(chosen.string()); });
    quaymark::testing::WriteFileBytes(chosen, R"({"type":"authorized_user"})");
    dialog.controls().Get<QPushButton>("googleKey")->click();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_THAT(desktop.messages[0].text.toStdString(),
                ::testing::HasSubstr("is not a service account's key"));
    dialog.controls().Get<QCheckBox>("google")->setChecked(true);
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_THAT(desktop.messages.back().text.toStdString(),
                ::testing::StartsWith("Google Search Console needs the service account's key"));

    quaymark::testing::WriteFileBytes(chosen, google.KeyFile());
    dialog.controls().Get<QPushButton>("googleKey")->click();
    SetOpenFileHandler({});
    EXPECT_EQ(dialog.controls().Get<QLabel>("googleAccount")->text().toStdString(),
              std::string("Key of ") + quaymark::testing::FakeGoogle::kAccount);
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
        EXPECT_FALSE(label->text().contains("PRIVATE KEY"));
    }
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_TRUE(dialog.settings().google);

    const std::filesystem::path kept = dir.path() / "google.json";
    quaymark::testing::WriteFileBytes(kept, "old");
    std::filesystem::permissions(kept, std::filesystem::perms::all);
    // The new copy is the user's alone while its bytes are written, not only once done.
    static mode_t modeWhileWritten = 0;
    ASSERT_TRUE(SaveServiceKeyFile(kept, dialog.newGoogleKey(),
                                   [](int fd, const void* data, std::size_t size) {
                                       struct stat status {};
                                       ::fstat(fd, &status);
                                       modeWhileWritten = status.st_mode & 07777;
                                       return ::write(fd, data, size);
                                   }));
    EXPECT_EQ(modeWhileWritten, 0600u);
    EXPECT_EQ(quaymark::testing::ReadFileBytes(kept), google.KeyFile());
    EXPECT_EQ(std::filesystem::status(kept).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// An engine's own tool set up in its window: on only with its credential, a site that is no
// site refused, plain http offered where the engine may need it, and the credential never shown
// again once typed.
TEST(ChannelsWindow, SetsUpTheEnginesOwnToolsWithoutShowingTheirCredentials) {
    quaymark::testing::TempDir dir;
    ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    CChannelsDlg dialog({}, false, {}, {});
    testing::DesktopRecorder desktop;
    auto* list = dialog.controls().Get<QListWidget>("accounts");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text().toStdString(), "Baidu: off");
    list->setCurrentRow(2);
    const std::string token = "baidu-token-0123456789wxyz";
    testing::ModalDriver driver;
    driver.Then<AccountDialog>([&](AccountDialog* window) {
        const auto boxes = window->findChildren<QCheckBox*>();
        ASSERT_EQ(boxes.size(), 2) << "on, and plain http";
        boxes[0]->setChecked(true);
        const auto fields = window->findChildren<QLineEdit*>();
        ASSERT_EQ(fields.size(), 2);
        EXPECT_EQ(fields[0]->echoMode(), QLineEdit::Password);
        QPushButton* ok = window->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok->click();
        EXPECT_THAT(desktop.messages.back().text.toStdString(),
                    ::testing::HasSubstr("Baidu needs its token"));
        fields[0]->setText(QString::fromStdString(" " + token + " "));
        fields[1]->setText(QStringLiteral("https://www.example.test/page ftp://x"));
        ok->click();
        EXPECT_THAT(desktop.messages.back().text.toStdString(),
                    ::testing::HasSubstr("ftp://x is no http:// or https:// site"));
        fields[1]->setText(QStringLiteral("https://www.example.test/page"));
        ok->click();
    });
    dialog.controls().Get<QPushButton>("setUp")->click();
    ASSERT_TRUE(driver.done());
    EXPECT_EQ(list->item(2)->text().toStdString(),
              "Baidu: on, token ****wxyz, https://www.example.test/");
    dialog.controls().Get<QPushButton>("ok")->click();
    const AccountSettings& baidu = dialog.settings().accounts.at("baidu");
    EXPECT_TRUE(baidu.enabled);
    EXPECT_FALSE(baidu.plainHttp);
    EXPECT_EQ(baidu.sites, std::vector<std::string>{"https://www.example.test/"});
    EXPECT_EQ(dialog.newCredentials().at("baidu"), token);
    ::unsetenv("XDG_CONFIG_HOME");
}

// The gate's hosts are set in the Hosts window, a pattern that is none refused with its reason,
// and kept by OK beside the rest, as they were kept when the window opened.
TEST(ChannelsWindow, KeepsTheGatesHosts) {
    CChannelsDlg dialog({.letThrough = {"www.example.test"}}, false, {}, {});
    testing::DesktopRecorder desktop;
    testing::ModalDriver driver;
    driver.Then<GateDialog>([&](GateDialog* window) {
        auto* never = window->findChild<QLineEdit*>(QStringLiteral("notAnnounced"));
        EXPECT_EQ(window->findChild<QLineEdit*>(QStringLiteral("letThrough"))->text(),
                  QStringLiteral("www.example.test"));
        never->setText(QStringLiteral("Staging.* https://x/"));
        QPushButton* ok = window->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ok->click();
        EXPECT_THAT(desktop.messages.back().text.toStdString(),
                    ::testing::HasSubstr("https://x/ is no host nor host pattern"));
        never->setText(QStringLiteral("Staging.* *.netlify.app"));
        ok->click();
    });
    dialog.controls().Get<QPushButton>("hosts")->click();
    ASSERT_TRUE(driver.done());
    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_EQ(dialog.settings().notAnnounced,
              (std::vector<std::string>{"staging.*", "*.netlify.app"}));
    EXPECT_EQ(dialog.settings().letThrough, std::vector<std::string>{"www.example.test"});
}

}  // namespace
}  // namespace quaymark::ui
