#include "bench/process.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace process {

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

}  // namespace process
