#include "ui/app.h"

#include <QApplication>
#include <QSessionManager>

#include "app/profile.h"
#include "ui/artwork.h"
#include "ui/desktop.h"
#include "ui/info_windows.h"
#include "ui/main_window.h"
#include "ui/program_title.h"
#include "ui/termination_watcher.h"

namespace quaymark::ui {
namespace {

const QString kAlreadyRunningText = QStringLiteral("%1 is already running.").arg(kProgramTitle);

}  // namespace

bool CSubmitApp::InitInstance() {
    QApplication::setWindowIcon(ApplicationIcon());
    const std::filesystem::path listFile = UrlListPath();
    std::error_code ignored;  // a directory that cannot be made is reported at the save
    std::filesystem::create_directories(listFile.parent_path(), ignored);
    // Watching from the very start, a request to end is never lost: it waits in the pipe.
    TerminationWatcher termination;
    // One copy of the program per list file. A lock that cannot be made at all does not stop
    // the program; the announcer, finding it held, leaves the list alone.
    const ListLock lock(ListLockPath(listFile));
    if (lock.heldElsewhere()) {
        ShowMessage(nullptr, kAlreadyRunningText, kProgramTitle);
        return false;
    }

    CSubmitDlg dialog(listFile, routing_);
    mainWindow_ = &dialog;
    InstallHelpKey(&dialog, [&dialog] { dialog.OnHelp(); });
    QObject::connect(&termination, &TerminationWatcher::terminationRequested, &dialog,
                     &CSubmitDlg::RequestQuit);
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &dialog,
                     [&dialog](QSessionManager&) { dialog.RequestQuit(); });
    dialog.exec();
    mainWindow_.clear();
    return false;
}

}  // namespace quaymark::ui
