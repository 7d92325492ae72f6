#include "tools/xharness/subprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "tools/xharness/timing.h"

extern char** environ;

namespace subprocess {
namespace {

constexpr int32_t REAP_POLL_MS = 5;

}  // namespace

std::vector<std::string> environmentWith(const char* display,
                                         const std::vector<std::string>& extra) {
    std::vector<std::string> environment = extra;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DISPLAY=", 8) != 0) {
            environment.emplace_back(*entry);
        }
    }
    if (display != nullptr) {
        environment.push_back(std::string("DISPLAY=") + display);
    }
    return environment;
}

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            int input, int output, int errors, int inherited) {
    // Everything the child needs is prepared before fork: the caller may have threads.
    std::vector<std::string> args = argv;
    std::vector<std::string> entries = environment;
    std::vector<char*> argp;
    for (std::string& arg : args) {
        argp.push_back(arg.data());
    }
    argp.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : entries) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    const int quiet = open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (inherited >= 0) {
            fcntl(inherited, F_SETFD, 0);
        }
        dup2(input >= 0 ? input : quiet, 0);
        dup2(output >= 0 ? output : quiet, 1);
        dup2(errors >= 0 ? errors : quiet, 2);
        execvpe(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (quiet >= 0) {
        close(quiet);
    }
    return pid;
}

int32_t statusFromWait(int raw) {
    if (WIFEXITED(raw)) {
        return WEXITSTATUS(raw);
    }
    if (WIFSIGNALED(raw)) {
        return 128 + WTERMSIG(raw);
    }
    return -1;
}

bool reaped(pid_t pid, int32_t& status) {
    int raw = 0;
    const pid_t result = pid > 0 ? waitpid(pid, &raw, WNOHANG) : -1;
    if (result == 0) {
        return false;
    }
    status = result == pid ? statusFromWait(raw) : -1;
    return true;
}

int32_t killAndReap(pid_t pid, int signal, int32_t graceMs) {
    kill(pid, signal);
    const int64_t deadline = timing::nowMs() + graceMs;
    int raw = 0;
    while (waitpid(pid, &raw, WNOHANG) == 0) {
        if (timing::nowMs() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &raw, 0);
            break;
        }
        timing::sleepMs(REAP_POLL_MS);
    }
    return statusFromWait(raw);
}

std::vector<std::string> quietWine(const std::string& prefix) {
    return {"WINEPREFIX=" + prefix, "WINEDEBUG=-all",
            "WINEDLLOVERRIDES=winealsa.drv,mscoree,mshtml=d"};
}

}  // namespace subprocess
