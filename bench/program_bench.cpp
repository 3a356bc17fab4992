// The whole program as a user runs it: the real binary on the xcb platform under Xvfb with a
// window manager, a list of 1,000 addresses, Submit All pressed, timed to the last of its
// 7,000 requests. Beside it, the same 7,000 requests from the curl tool (one handle, HTTP/1.0,
// a new connection each) and from ab -c 1, against the same loopback web server.
//
// The engines' hosts are routed from outside the program: as root the benchmark re-runs
// itself in a private network and mount namespace, brings its loopback up, binds a hosts file
// over /etc/hosts and serves port 80 there. Nothing leaves the machine.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <httplib.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/classic/engine_table.h"
#include "engine/run/submit_run.h"
#include "storage/url_list_file.h"

extern char** environ;

namespace quaymark::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAddresses = 1000;
constexpr char kInsideFlag[] = "--inside-namespace";

pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
            bool quiet = true) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        env.emplace_back(*e);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    const pid_t pid = Spawn(args, env);
    return pid < 0 ? -1 : Wait(pid);
}

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        ::pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::vector<std::string> Addresses() {
    std::vector<std::string> addresses;
    for (int i = 0; i < kAddresses; ++i) {
        addresses.push_back("http://site" + std::to_string(i) + ".example/index.html");
    }
    return addresses;
}

// The engines answer every request at once with a page that holds no marker.
class EngineHosts {
public:
    EngineHosts() {
        server_.Get(R"(/.*)", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content("<html>Thank you for your submission.</html>\r\n", "text/html");
            last_.store(Clock::now().time_since_epoch().count());
            ++answered_;
        });
        thread_ = std::thread([this] { server_.listen("127.0.0.1", 80); });
        while (!server_.is_running()) {
            std::this_thread::yield();
        }
    }
    ~EngineHosts() {
        server_.stop();
        thread_.join();
    }
    int answered() const { return answered_.load(); }
    void Reset() { answered_ = 0; }
    Clock::time_point lastAnswer() const {
        return Clock::time_point(Clock::duration(last_.load()));
    }

private:
    httplib::Server server_;
    std::thread thread_;
    std::atomic<int> answered_{0};
    std::atomic<Clock::rep> last_{0};
};

// Xvfb with openbox, for as long as it lives.
class Desktop {
public:
    Desktop() {
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        const pid_t x = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                               "1280x1024x24", "-nolisten", "tcp"});
        ::close(fds[1]);
        char number[16] = {};
        const ssize_t got = ::read(fds[0], number, sizeof number - 1);
        ::close(fds[0]);
        xserver_ = x;
        if (got <= 0) {
            return;
        }
        display_ = ":" + std::string(number, std::strlen(number) - (number[got - 1] == '\n'));
        wm_ = Spawn({"openbox"}, {"DISPLAY=" + display_});
        RunToEnd({"sh", "-c",
                  "for i in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | "
                  "grep -q window && exit 0; sleep 0.05; done; exit 1"},
                 {"DISPLAY=" + display_});
    }
    ~Desktop() {
        for (const pid_t pid : {wm_, xserver_}) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                Wait(pid);
            }
        }
    }
    const std::string& display() const { return display_; }
    pid_t xserver() const { return xserver_; }

private:
    std::string display_;
    pid_t xserver_ = -1;
    pid_t wm_ = -1;
};

void BM_WholeProgramBesideCurlAndAb(benchmark::State& state, const std::string& program) {
    EngineHosts engines;
    Desktop desktop;
    if (desktop.display().empty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    const std::filesystem::path home = std::filesystem::temp_directory_path() /
                                       ("quaymark-program-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home / "data" / "quaymark");
    const std::string email = "me@example.com";
    SaveUrlList(home / "data" / "quaymark" / "quaysites.dat", Addresses(), email);
    std::vector<std::string> urls;
    for (const std::string& address : Addresses()) {
        for (const EngineRow& row : EngineTable) {
            urls.push_back(BuildRequestUrl(row, address, email));
        }
    }
    {
        std::ofstream config(home / "curl.config");
        for (const std::string& url : urls) {
            config << "url = \"" << url << "\"\noutput = \"/dev/null\"\n";
        }
    }
    const std::vector<std::string> env = {"DISPLAY=" + desktop.display(), "QT_QPA_PLATFORM=xcb",
                                          "XDG_DATA_HOME=" + (home / "data").string(),
                                          "XDG_CACHE_HOME=" + (home / "cache").string()};
    for (auto _ : state) {
        engines.Reset();
        const pid_t running = Spawn({program}, env);
        const std::string window = Output("DISPLAY=" + desktop.display() +
                                          " timeout 30 xdotool search --sync --onlyvisible "
                                          "--name '^Quaymark!$' | head -n1");
        // The splash hides after a second; then the main window takes the keys.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        RunToEnd({"xdotool", "windowactivate", "--sync", window}, env);
        const Clock::time_point pressed = Clock::now();
        RunToEnd({"xdotool", "key", "--clearmodifiers", "alt+a"}, env);
        const std::string results = Output("DISPLAY=" + desktop.display() +
                                           " timeout 120 xdotool search --sync --onlyvisible "
                                           "--name '^URL Submission Complete!$' | head -n1");
        const Clock::time_point shown = Clock::now();
        const int answered = engines.answered();
        ::kill(running, SIGTERM);
        Wait(running);
        if (results.empty() || answered != static_cast<int>(urls.size())) {
            state.SkipWithError("the run did not reach its results window");
            break;
        }
        const std::chrono::duration<double> toLast = engines.lastAnswer() - pressed;
        const std::chrono::duration<double> toWindow = shown - pressed;

        engines.Reset();
        Clock::time_point start = Clock::now();
        RunToEnd({"curl", "-s", "-0", "-K", (home / "curl.config").string()});
        const std::chrono::duration<double> curl = Clock::now() - start;

        start = Clock::now();
        RunToEnd({"ab", "-q", "-n", std::to_string(urls.size()), "-c", "1", urls.front()});
        const std::chrono::duration<double> ab = Clock::now() - start;

        const double count = static_cast<double>(urls.size());
        state.counters["program_per_s"] = count / toLast.count();
        state.counters["program_to_window_per_s"] = count / toWindow.count();
        state.counters["curl_tool_per_s"] = count / curl.count();
        state.counters["ab_per_s"] = count / ab.count();
        state.counters["program_vs_curl"] = curl.count() / toLast.count();
        state.counters["program_vs_ab"] = ab.count() / toLast.count();
    }
    std::filesystem::remove_all(home);
}

// The engines' hosts, and nothing else, name this machine's loopback inside the namespace.
bool RouteEngineHosts() {
    if (RunToEnd({"ip", "link", "set", "lo", "up"}) != 0) {
        return false;
    }
    const std::filesystem::path hosts =
        std::filesystem::temp_directory_path() / ("quaymark-hosts-" + std::to_string(::getpid()));
    {
        std::ofstream out(hosts);
        out << "127.0.0.1 localhost\n";
        for (const EngineRow& row : EngineTable) {
            out << "127.0.0.1 " << row.host << "\n";
        }
    }
    return ::mount(hosts.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
}

}  // namespace
}  // namespace quaymark::bench

// program_bench PATH-TO-QUAYMARK [benchmark flags]
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s path/to/quaymark [benchmark flags]\n", argv[0]);
        return 2;
    }
    if (std::string(argv[1]) != quaymark::bench::kInsideFlag) {
        if (::geteuid() != 0) {
            std::fprintf(stderr, "program_bench routes the engines in a namespace: run as root\n");
            return 0;
        }
        std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<char*> args = {const_cast<char*>("unshare"),
                                   const_cast<char*>("--net"),
                                   const_cast<char*>("--mount"),
                                   const_cast<char*>("--"),
                                   self.data(),
                                   const_cast<char*>(quaymark::bench::kInsideFlag)};
        args.insert(args.end(), argv + 1, argv + argc);
        args.push_back(nullptr);
        ::execvp("unshare", args.data());
        std::perror("unshare");
        return 1;
    }
    const std::string program = std::filesystem::absolute(argv[2]).string();
    if (!quaymark::bench::RouteEngineHosts()) {
        std::fprintf(stderr, "cannot route the engine hosts to the loopback\n");
        return 1;
    }
    int benchArgc = argc - 2;
    argv[2] = argv[0];
    benchmark::RegisterBenchmark("BM_WholeProgramBesideCurlAndAb",
                                 quaymark::bench::BM_WholeProgramBesideCurlAndAb, program)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&benchArgc, argv + 2);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
