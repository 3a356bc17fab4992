#include "ui/indexnow_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>

#include "tests/support/temp_dir.h"
#include "tests/support/tls_server.h"
#include "tests/ui/desktop_recorder.h"

namespace quaymark::ui {
namespace {

using ::testing::ElementsAre;

// The window as a user goes through it: an invalid key refused, a generated one, the key
// file saved, the sites checked against a TLS server of the test, and OK.
TEST(IndexNowWindow, TakesOnlyAValidKeyAndChecksEverySiteOfTheList) {
    quaymark::testing::TlsServer sites;
    std::string served;
    sites->Get(R"(/(\w+)\.txt)", [&](const httplib::Request& request, httplib::Response& response) {
        if (request.get_header_value("Host").rfind("good.example.test", 0) == 0) {
            response.set_content(served, "text/plain");
        } else {
            response.status = 404;
        }
    });
    RunRouting routing{
        {{"good.example.test:443", sites.port()}, {"bare.example.test:443", sites.port()}},
        {},
        quaymark::testing::TlsServer::CaFile()};
    CIndexNowDlg dialog({},
                        {"https://good.example.test/a", "https://good.example.test/b",
                         "https://bare.example.test/", "ftp://elsewhere/"},
                        routing);
    testing::DesktopRecorder desktop;
    auto* key = dialog.controls().Get<QLineEdit>("key");
    EXPECT_EQ(dialog.controls().Get<QLineEdit>("endpoint")->text(),
              "https://api.indexnow.org/indexnow");

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
    EXPECT_THAT(lines, ElementsAre("https://bare.example.test: no key file (404)",
                                   "https://good.example.test: the key file is served"));

    dialog.controls().Get<QPushButton>("ok")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.settings().key, key->text().toStdString());
    EXPECT_TRUE(dialog.settings().enabled);
}

}  // namespace
}  // namespace quaymark::ui
