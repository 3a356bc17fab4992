#include <curl/curl.h>

#include <QApplication>

#include "ui/app.h"

// No command-line argument changes the program: Qt is shown the program's name alone, so its
// own options (-reverse, -platform, -style, ...) are not taken either. Qt's environment
// variables still work for those who need them.
int main(int, char** argv) {
    // Before any thread starts: Qt's own threads come with the application object.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication application(qtArgc, qtArgv);
    quaymark::ui::CSubmitApp app;
    app.InitInstance();
    return 0;
}
