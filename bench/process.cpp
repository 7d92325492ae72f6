#include "bench/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace process {

pid_t start(const std::string& path, const std::string& display) {
    // Everything the child needs is prepared before fork.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("DISPLAY=" + display);
    std::vector<char*> envp;
    for (std::string& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    std::string binary = path;
    char* argv[] = {binary.data(), nullptr};
    const int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(quiet, 0);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(quiet);
    return pid;
}

void kill(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool running(pid_t pid) {
    return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0;
}

double cpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    // The command name may hold spaces; the fields after it start past the last ')'.
    const size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return -1.0;
    }
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number == 14) {
            utime = std::strtoull(field.c_str(), nullptr, 10);
        } else if (number == 15) {
            stime = std::strtoull(field.c_str(), nullptr, 10);
        }
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double onCpuSeconds(pid_t pid) {
    std::error_code error;
    unsigned long long totalNs = 0;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        unsigned long long ns = 0;
        if (in >> ns) {
            totalNs += ns;
        }
    }
    return static_cast<double>(totalNs) / 1e9;
}

int64_t peakResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtoll(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

int64_t nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void sleepMs(int32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace process
