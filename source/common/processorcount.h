// How many threads this process can run at once: the one count behind every default thread count
// of the tree (decoder workers, CPU engine workers, picture writers, the encoder).
//
// On Linux it is the number of processors in the thread's affinity set (sched_getaffinity), lowered
// to the CPU quota of the process's control groups where one is set (cgroup v2 cpu.max, cgroup v1
// cpu.cfs_quota_us over cpu.cfs_period_us, in the process's group and every group above it; a
// fractional quota rounds up). On Windows it is the smaller of the processor count, the active
// processor mask and the process affinity mask. At least 1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tsr {

int ProcessorCount();

namespace processorcount {

// The parts of ProcessorCount, pure where they can be, for tests.

// Processors a cgroup v2 cpu.max text allows ("200000 100000" is 2, "max 100000" no limit),
// rounded up; 0 for no limit or a text that cannot be read as a quota.
int LimitFromCpuMax(std::string_view cpuMax);

// The same for cgroup v1's cpu.cfs_quota_us and cpu.cfs_period_us texts (a quota of -1 is no
// limit).
int LimitFromCfsQuota(std::string_view quotaUs, std::string_view periodUs);

// A directory of the cpu controller that may hold a quota for this process.
struct CgroupDirectory {
    std::string path;
    bool v2 = true; // cpu.max; otherwise cpu.cfs_quota_us and cpu.cfs_period_us
    bool operator==(const CgroupDirectory& other) const { return path == other.path && v2 == other.v2; }
};

// The process's cpu controller directories from the texts of /proc/self/cgroup and
// /proc/self/mountinfo: its own group first, then each group above it up to the mount point,
// cgroup v2 before v1.
std::vector<CgroupDirectory> CpuControllerDirectories(std::string_view procCgroup,
                                                      std::string_view mountInfo);

// The smallest limit the quota files of `directories` set, or 0 when none does.
int LimitOfDirectories(const std::vector<CgroupDirectory>& directories);

// The quota limit of this process's control groups (0 for none, and off Linux).
int CgroupLimit();

// Processors in the calling thread's affinity set, or the machine's count where it has none to
// give (0 when unknown).
int AffinityCount();

} // namespace processorcount
} // namespace tsr
