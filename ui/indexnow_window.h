#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "storage/indexnow_settings.h"
#include "ui/dialog_template.h"
#include "ui/submit_list.h"

namespace quaymark::ui {

// The IndexNow settings: the key (typed or generated), the endpoint, whether runs announce
// through IndexNow, the key file to put on the sites, and a check that every site of the
// list serves it. OK takes a valid key only.
class CIndexNowDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 150;
    static constexpr int kKeyId = 1101;
    static constexpr int kGenerateId = 1102;
    static constexpr int kEndpointId = 1103;
    static constexpr int kEnabledId = 1104;
    static constexpr int kSaveKeyFileId = 1105;
    static constexpr int kCheckId = 1106;
    static constexpr int kCheckListId = 1107;

    // The addresses are the list's, whose sites Check visits; the routing is where its
    // requests go (the sites themselves in the program).
    CIndexNowDlg(IndexNowSettings settings, std::vector<std::string> addresses, RunRouting routing,
                 QWidget* parent = nullptr);

    // The settings as OK took them.
    const IndexNowSettings& settings() const { return m_settings; }
    const DialogControls& controls() const { return m_controls; }

    void OnGenerate();
    void OnSaveKeyFile();
    void OnCheck();

protected:
    void accept() override;

private:
    // The key in the field, when it is one; says why not otherwise.
    bool TakeValidKey(std::string& key);

    DialogControls m_controls;
    IndexNowSettings m_settings;
    std::vector<std::string> m_addresses;
    RunRouting m_routing;
};

}  // namespace quaymark::ui
