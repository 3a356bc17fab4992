#include "ui/app.h"

#include <QApplication>
#include <QStandardPaths>

#include "ui/artwork.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"

namespace quaymark::ui {

bool CSubmitApp::InitInstance() {
    QApplication::setWindowIcon(ApplicationIcon());
    CSubmitDlg dialog(UrlListPath());
    m_pMainWnd = &dialog;
    InstallHelpKey(&dialog);
    dialog.exec();
    m_pMainWnd.clear();
    return false;
}

std::filesystem::path CSubmitApp::UrlListPath() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return std::filesystem::path(data.toStdString()) / "quaymark" / "quaysites.dat";
}

}  // namespace quaymark::ui
