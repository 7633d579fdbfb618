// The whole program as the user runs it, against the demo service on
// 127.0.0.1: the time from start to the first request reaching the service,
// and, while idle with the popup parked (no news), the proportional set size
// of the process tree, the CPU seconds it uses over a minute and how often its
// threads wake up (context switches, voluntary and involuntary).
//
//   bench_shell [--runs N] [--settle-seconds S] [--idle-seconds S] [--breakdown]
//
// Runs headless (QT_QPA_PLATFORM=offscreen) unless DISPLAY is set; as the user
// sees it: xvfb-run -a sh -c 'trayer & sleep 1; bench_shell'.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "demo_profile.h"
#include "demo_service.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace velmora;

extern char** environ;

namespace {

const demo::Identity kClient{"C-BENCH-1", "bench-client-password"};

struct Profile {
    fs::path root;
    std::vector<std::string> env;
};

Profile MakeProfile(const demo::DemoService& service, std::uint32_t reread) {
    Profile p;
    std::string pattern = (fs::temp_directory_path() / "velmora-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    p.root = pattern;
    for (const char* sub : {"config", "xdg", "data", "tmp", "run", "home"}) {
        fs::create_directories(p.root / sub);
    }
    chmod((p.root / "run").c_str(), 0700);
    demo::DemoProfile profile;
    profile.client = kClient;
    profile.rereadMinutes = reread;
    std::string error;
    if (!demo::WriteDemoProfile(service, profile, p.root / "config", p.root / "xdg", error)) {
        std::fprintf(stderr, "bench_shell: %s\n", error.c_str());
        std::exit(1);
    }
    const std::map<std::string, std::string> overrides = {
        {"XDG_CONFIG_HOME", (p.root / "config").string()},
        {"XDG_CONFIG_DIRS", (p.root / "xdg").string()},
        {"XDG_DATA_HOME", (p.root / "data").string()},
        {"XDG_RUNTIME_DIR", (p.root / "run").string()},
        {"TMPDIR", (p.root / "tmp").string()},
        {"HOME", (p.root / "home").string()},
        {"QTWEBENGINE_DISABLE_SANDBOX", "1"},
    };
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!overrides.count(name)) p.env.push_back(entry);
    }
    for (const auto& [name, value] : overrides) p.env.push_back(name + "=" + value);
    if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM")) {
        p.env.push_back("QT_QPA_PLATFORM=offscreen");
    }
    return p;
}

pid_t Spawn(const Profile& p) {
    std::vector<char*> envp;
    for (const std::string& e : p.env) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(VELMORA_EXE), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, VELMORA_EXE, &actions, nullptr, argv, envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
}

bool WaitRequests(const demo::DemoService& service, int count, double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (service.ServiceRequests() < count) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return true;
}

// The process and every descendant.
std::vector<pid_t> Tree(pid_t root) {
    std::map<pid_t, pid_t> parent;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        parent[std::stoi(name)] = ppid;
    }
    std::vector<pid_t> tree = {root};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        for (const auto& [pid, pp] : parent) {
            if (pp == tree[i]) tree.push_back(pid);
        }
    }
    return tree;
}

double CpuSeconds(const std::vector<pid_t>& pids) {
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    double total = 0;
    for (pid_t pid : pids) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string field;
        std::vector<std::string> fields;
        while (rest >> field) fields.push_back(field);
        // utime and stime are fields 14 and 15 of the whole line.
        if (fields.size() > 13) total += (std::stod(fields[11]) + std::stod(fields[12])) / tick;
    }
    return total;
}

double PssMiB(const std::vector<pid_t>& pids) {
    double kib = 0;
    for (pid_t pid : pids) {
        std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
        std::string key;
        double value;
        std::string unit;
        while (rollup >> key) {
            if (key == "Pss:") {
                rollup >> value >> unit;
                kib += value;
                break;
            }
            std::getline(rollup, unit);
        }
    }
    return kib / 1024.0;
}

// Context switches of every thread of the processes so far, by thread; each
// is one wake-up of a thread (or one preemption of a running one).
std::map<std::string, long long> SwitchesByThread(const std::vector<pid_t>& pids) {
    std::map<std::string, long long> byThread;
    for (pid_t pid : pids) {
        std::error_code error;
        const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
        for (const auto& task : fs::directory_iterator(tasks, error)) {
            std::ifstream status(task.path() / "status");
            std::string line, name;
            long long switches = 0;
            while (std::getline(status, line)) {
                if (line.rfind("Name:", 0) == 0) name = line.substr(6);
                if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                    line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
                    switches += std::stoll(line.substr(line.find(':') + 1));
            }
            byThread[std::to_string(pid) + "/" + task.path().filename().string() + " " + name] =
                switches;
        }
    }
    return byThread;
}

// Wake-ups between two readings; a thread that ended in between is not counted.
long long WakeupsBetween(const std::map<std::string, long long>& before,
                         const std::map<std::string, long long>& after) {
    long long woke = 0;
    for (const auto& [thread, switches] : after) {
        const auto then = before.find(thread);
        woke += switches - (then == before.end() ? 0 : then->second);
    }
    return woke;
}

// The largest contributions to the PSS of one process, by mapping.
void PrintBreakdown(pid_t pid) {
    std::ifstream smaps("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, double> byName;
    std::string line, name;
    while (std::getline(smaps, line)) {
        if (line.rfind("Pss:", 0) == 0) {
            byName[name.empty() ? "[anonymous]" : name] += std::stod(line.substr(4));
        } else if (!line.empty() && std::isxdigit(static_cast<unsigned char>(line[0])) &&
                   line.find('-') < line.find(' ')) {
            std::istringstream fields(line);
            std::string skip;
            for (int i = 0; i < 5; ++i) fields >> skip;
            name.clear();
            fields >> name;
        }
    }
    std::vector<std::pair<double, std::string>> sorted;
    for (const auto& [n, kib] : byName) sorted.push_back({kib, n});
    std::sort(sorted.rbegin(), sorted.rend());
    for (std::size_t i = 0; i < sorted.size() && i < 12; ++i) {
        std::printf("  %8.1f MiB  %s\n", sorted[i].first / 1024.0, sorted[i].second.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 10;
    int idleSeconds = 60;
    int settleSeconds = 20;
    bool breakdown = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--breakdown")) breakdown = true;
        if (i + 1 >= argc) continue;
        if (!std::strcmp(argv[i], "--runs")) runs = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--idle-seconds")) idleSeconds = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--settle-seconds")) settleSeconds = std::atoi(argv[i + 1]);
    }

    demo::DemoConfig config;
    config.clients = {kClient};
    demo::DemoService service(config);
    if (!service.Start()) {
        std::fprintf(stderr, "bench_shell: cannot start the demo service\n");
        return 1;
    }

    // Start to first request, each run with a fresh profile.
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        Profile profile = MakeProfile(service, 60);
        const int before = service.ServiceRequests();
        const auto start = Clock::now();
        const pid_t pid = Spawn(profile);
        if (!WaitRequests(service, before + 1, 30)) {
            std::fprintf(stderr, "bench_shell: no request within 30 s\n");
            Stop(pid);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        Stop(pid);
        fs::remove_all(profile.root);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("start to first request: median %.1f ms, min %.1f ms, max %.1f ms (%d runs)\n",
                ms[ms.size() / 2], ms.front(), ms.back(), runs);

    // Idle with the popup parked: a first run stores the feed, so that the
    // measured run finds nothing new and only hands the popup the feed.
    Profile profile = MakeProfile(service, 60);
    pid_t pid = Spawn(profile);
    WaitRequests(service, service.ServiceRequests() + 1, 30);
    std::this_thread::sleep_for(std::chrono::seconds(5));
    Stop(pid);
    const int before = service.ServiceRequests();
    pid = Spawn(profile);
    WaitRequests(service, before + 1, 30);
    std::this_thread::sleep_for(std::chrono::seconds(settleSeconds));
    const std::vector<pid_t> tree0 = Tree(pid);
    const double cpu0 = CpuSeconds(tree0);
    const std::map<std::string, long long> switches0 = SwitchesByThread(tree0);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const std::vector<pid_t> tree = Tree(pid);
    const double cpu = CpuSeconds(tree) - cpu0;
    const std::map<std::string, long long> switches1 = SwitchesByThread(tree);
    const long long switches = WakeupsBetween(switches0, switches1);
    const double pss = PssMiB(tree);
    std::printf(
        "idle %d s, popup parked, no news: PSS %.1f MiB (%zu processes), CPU %.3f s = %.3f %% of "
        "one core, %lld wake-ups = %.2f per second\n",
        idleSeconds, pss, tree.size(), cpu, 100.0 * cpu / idleSeconds, switches,
        static_cast<double>(switches) / idleSeconds);
    if (std::getenv("VELMORA_BENCH_VERBOSE")) {
        for (const auto& [thread, after] : switches1) {
            const auto before = switches0.find(thread);
            const long long woke = after - (before == switches0.end() ? 0 : before->second);
            if (woke > 0) std::printf("  %-40s %lld\n", thread.c_str(), woke);
        }
    }
    if (breakdown) PrintBreakdown(pid);
    Stop(pid);
    fs::remove_all(profile.root);
    return 0;
}
