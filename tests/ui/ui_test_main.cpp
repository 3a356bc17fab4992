#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

// GUI tests run headless: ctest sets the offscreen platform, and so does a direct run.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // No test reads or writes the user's own list, settings or pages.
    QTemporaryDir home;
    for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
        qputenv(variable, (home.path() + '/' + variable).toLocal8Bit());
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
