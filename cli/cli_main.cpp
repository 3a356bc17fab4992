#include <curl/curl.h>
#include <unistd.h>

#include <iostream>

#include "cli/command_line.h"

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = quaymark::cli::RunCommandLine(
        arguments, {.out = std::cout, .err = std::cerr, .terminal = ::isatty(STDERR_FILENO) == 1});
    curl_global_cleanup();
    return status;
}
