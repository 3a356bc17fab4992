#include <curl/curl.h>
#include <gtest/gtest.h>

#include <QApplication>

// GUI tests run headless: ctest sets the offscreen platform, and so does a direct run.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    curl_global_init(CURL_GLOBAL_DEFAULT);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
