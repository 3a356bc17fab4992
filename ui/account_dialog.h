#pragma once

#include <QDialog>
#include <string>

#include "app/accounts.h"

class QCheckBox;
class QLineEdit;

namespace quaymark::ui {

// The settings of one channel of an engine's own API, as its kind describes them: on or off,
// its credential (typed, never shown: the one kept is named by its last characters at most),
// the sites it serves, and plain http where the engine may need it, with the warning beside.
class AccountDialog : public QDialog {
    Q_OBJECT

public:
    explicit AccountDialog(AccountView account, QWidget* parent = nullptr);

    // What OK took: the settings, and the credential typed (empty when none was).
    const AccountSettings& settings() const { return account_.settings; }
    const std::string& credential() const { return credential_; }

protected:
    void accept() override;

private:
    AccountView account_;
    std::string credential_;
    QCheckBox* enabledBox_;
    QLineEdit* credentialEdit_;
    QLineEdit* sitesEdit_;
    QCheckBox* plainHttpBox_ = nullptr;
};

// "Bing Webmaster Tools: on, API key ****1a2b, every site", as the Channels window lists it.
QString AccountLine(const AccountView& account);

}  // namespace quaymark::ui
