#include <curl/curl.h>
#include <gtest/gtest.h>

// libcurl is set up once, before any test starts a thread, as the program does in main.
int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    curl_global_cleanup();
    return result;
}
