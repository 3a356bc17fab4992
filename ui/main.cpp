#include <QApplication>

#include "ui/app.h"

// Command-line arguments are not read; Qt takes its own platform options from them.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    quaymark::ui::CSubmitApp app;
    app.InitInstance();
    return 0;
}
