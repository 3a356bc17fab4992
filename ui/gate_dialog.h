#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLineEdit;

namespace quaymark::ui {

// The gate's hosts: those never announced (staging, previews) and those let through although
// they cannot be a public site (a test setup), each a host or a pattern where * is any text.
class GateDialog : public QDialog {
    Q_OBJECT

public:
    GateDialog(const std::vector<std::string>& notAnnounced,
               const std::vector<std::string>& letThrough, QWidget* parent = nullptr);

    // What OK took.
    const std::vector<std::string>& notAnnounced() const { return notAnnounced_; }
    const std::vector<std::string>& letThrough() const { return letThrough_; }

protected:
    void accept() override;

private:
    std::vector<std::string> notAnnounced_;
    std::vector<std::string> letThrough_;
    QLineEdit* notAnnouncedEdit_;
    QLineEdit* letThroughEdit_;
};

}  // namespace quaymark::ui
