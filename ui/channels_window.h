#pragma once

#include <QDialog>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/accounts.h"
#include "app/channel_setup.h"
#include "ui/dialog_template.h"
#include "ui/run_starter.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace quaymark::ui {

// The channels a run sends through: whether to the seven classic add-URL pages, and the
// IndexNow settings: the key (typed or generated), the endpoint (one of the known ones or
// a typed https address), where the key file is when not at the sites' roots, whether runs
// announce through IndexNow and whether only new or changed pages, the key file to put on the
// sites, and a check that every host of the list serves it; and whether the changes are
// announced every day by themselves; and the engines' own tools, each set up in a window of its
// own. OK takes a valid key only.
class CChannelsDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 150;

    // Daily is whether the daily job is set up. The addresses are the list's, whose sites
    // Check visits; the routing is where its requests go (the sites themselves in the
    // program).
    CChannelsDlg(IndexNowSettings settings, bool daily, std::vector<std::string> addresses,
                 RunRouting routing, QWidget* parent = nullptr);

    // The account of the service-account key kept for Google Search Console; none when empty.
    void ShowGoogleKey(const std::string& account);
    // The settings as OK took them, and whether the daily job is wanted.
    const IndexNowSettings& settings() const { return settings_; }
    // A key file chosen here to be kept; empty when none was.
    const std::string& newGoogleKey() const { return newGoogleKey_; }
    // The credentials typed for the engines' own tools, by section, to be kept.
    const std::map<std::string, std::string>& newCredentials() const { return newCredentials_; }
    bool daily() const { return daily_; }
    const DialogControls& controls() const { return controls_; }

    void OnGenerate();
    void OnSaveKeyFile();
    void OnCheck();
    void OnGoogleKey();
    // The engines' own tool chosen in the list, set up in its own window.
    void OnSetUp();
    void OnHosts();

protected:
    void accept() override;

private:
    // The key in the field, when it is one; says why not otherwise.
    bool TakeValidKey(std::string& key);
    // The key location in the field, empty or valid; says why not otherwise.
    bool TakeKeyLocation(std::string& keyLocation);

    DialogControls controls_;
    QLineEdit* keyEdit_;
    QComboBox* endpointBox_;
    QLineEdit* keyLocationEdit_;
    QCheckBox* classicBox_;
    QCheckBox* enabledBox_;
    QCheckBox* onlyNewOrChangedBox_;
    QCheckBox* checkPagesBox_;
    QCheckBox* dailyBox_;
    QCheckBox* googleBox_;
    QPushButton* checkButton_;
    QListWidget* checkList_;
    QListWidget* accountsList_;
    std::vector<AccountView> accounts_;
    std::map<std::string, std::string> newCredentials_;
    IndexNowSettings settings_;
    // The gate's hosts, as the Hosts window leaves them.
    std::vector<std::string> notAnnounced_;
    std::vector<std::string> letThrough_;
    bool daily_ = false;
    std::string googleAccount_;
    std::string newGoogleKey_;
    std::vector<std::string> addresses_;
    RunRouting routing_;
};

// What loading the channels found wrong, told: the settings file, Google's key.
void TellChannelsLoaded(QWidget* owner, const ChannelsLoaded& loaded);

// Shows the Channels window for these channels; on OK, keeps what it changed (the settings, a
// key chosen, the daily job), tells what could not be kept, and gives the channels as they
// now are. The settings were unreadable at start: they are then never saved over.
std::optional<ChannelSettings> EditChannels(QWidget* owner, const ChannelSettings& channels,
                                            bool settingsUnreadable,
                                            std::vector<std::string> addresses, RunRouting routing);

}  // namespace quaymark::ui
