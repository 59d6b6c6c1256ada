/*
 * cpus.cpp --
 *
 *	The processors the process may use: its affinity mask and the cgroup
 *	CPU quota.
 */
#include "runtime/cpus.h"

#include "runtime/cnumber.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <thread>

int quotaProcessors(const char *text)
{
    while (*text == ' ' || *text == '\t') {
        text++;
    }
    if (std::strncmp(text, "max", 3) == 0) {
        return 0;
    }
    double parts[2] = {0, 0};
    if (cScanNumbers(text, parts, 2) != 2 || !(parts[0] > 0) || !(parts[1] > 0)) {
        return 0;
    }
    double count = std::ceil(parts[0] / parts[1]);
    return count >= 1 << 20 ? 1 << 20 : std::max(1, static_cast<int>(count));
}

namespace {

/* The quota of the process's cgroup (v2 at the unified mount; v1's
 * cfs files under cpu,cpuacct); 0 when none is found. */
int cgroupQuota()
{
    char text[128];
    if (FILE *f = std::fopen("/sys/fs/cgroup/cpu.max", "r")) {  // a kernel file: short, never a FIFO
        size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        text[n] = '\0';
        return quotaProcessors(text);
    }
    std::string both;
    for (const char *name : {"/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "/sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us"}) {
        FILE *f = std::fopen(name, "r");  // kernel files: short, never a FIFO
        if (f == nullptr) {
            return 0;
        }
        size_t n = std::fread(text, 1, sizeof text - 1, f);
        std::fclose(f);
        text[n] = '\0';
        both += text;
        both += ' ';
    }
    std::replace(both.begin(), both.end(), '\n', ' ');
    return both.compare(0, 2, "-1") == 0 ? 0 : quotaProcessors(both.c_str());
}

} // namespace

int usableProcessors()
{
    int count = 0;
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        count = CPU_COUNT(&set);
    }
    if (count < 1) {
        count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    int quota = cgroupQuota();
    return quota > 0 ? std::min(count, quota) : count;
}

int workerThreads(int most)
{
    return std::clamp(usableProcessors(), 1, std::max(1, most));
}
