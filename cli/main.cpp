#include <curl/curl.h>
#include <unistd.h>

#include <iostream>

#include "cli/announcer.h"

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = quaymark::cli::RunAnnouncer(
        arguments, {.out = std::cout, .err = std::cerr, .terminal = ::isatty(STDERR_FILENO) == 1});
    curl_global_cleanup();
    return status;
}
