// The processor count: quota texts, the control-group directories found from /proc texts, the
// quota files read from them, and the affinity set of the calling thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>
#include <unistd.h>

#include "common/processorcount.h"

namespace tsr::test {
namespace {

using processorcount::CgroupDirectory;

TEST(ProcessorCount, QuotaTexts) {
    const struct {
        const char* text;
        int limit;
    } cpuMax[] = {
        {"max 100000\n", 0},
        {"200000 100000\n", 2},
        {"150000 100000", 2},
        {"100000 100000\n", 1},
        {"50000 100000\n", 1},
        {"1000 100000\n", 1},
        {"400000 50000\n", 8},
        {"  300000 100000  \n", 3},
        {"", 0},
        {"max", 0},
        {"200000", 0},
        {"200000 0\n", 0},
        {"-200000 100000\n", 0},
        {"200000 -100000\n", 0},
        {"2e5 100000\n", 0},
        {"200000 100000 7\n", 0},
        {"200000x 100000\n", 0},
        {"99999999999999999999 1", 0},
        {"9000000000000000000 1", 2147483647},
    };
    for (const auto& c : cpuMax) EXPECT_EQ(c.limit, processorcount::LimitFromCpuMax(c.text)) << c.text;

    const struct {
        const char *quota, *period;
        int limit;
    } cfs[] = {
        {"-1\n", "100000\n", 0}, {"200000\n", "100000\n", 2}, {"250000\n", "100000\n", 3},
        {"50000", "100000", 1},  {"200000\n", "0\n", 0},      {"", "100000\n", 0},
        {"200000\n", "", 0},     {"x", "100000", 0},
    };
    for (const auto& c : cfs)
        EXPECT_EQ(c.limit, processorcount::LimitFromCfsQuota(c.quota, c.period))
            << c.quota << " / " << c.period;
}

TEST(ProcessorCount, ControlGroupDirectories) {
    const char* v2Mount =
        "30 23 0:26 / /sys/fs/cgroup rw,nosuid,nodev shared:4 - cgroup2 cgroup2 rw,nsdelegate\n";
    const char* hybridMounts =
        "31 22 0:28 / /sys/fs/cgroup rw,relatime - tmpfs tmpfs rw,mode=755\n"
        "32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw,relatime - cgroup cgroup rw,cpu,cpuacct\n"
        "33 31 0:30 / /sys/fs/cgroup/cpuset rw,relatime - cgroup cgroup rw,cpuset\n"
        "41 31 0:38 / /sys/fs/cgroup/unified rw,relatime - cgroup2 cgroup2 rw\n";
    const struct {
        const char* name;
        const char *cgroup, *mountInfo;
        std::vector<CgroupDirectory> expected;
    } cases[] = {
        {"v2, nested group",
         "0::/user.slice/session-2.scope\n",
         v2Mount,
         {{"/sys/fs/cgroup/user.slice/session-2.scope", true},
          {"/sys/fs/cgroup/user.slice", true},
          {"/sys/fs/cgroup", true}}},
        {"v2, own namespace", "0::/\n", v2Mount, {{"/sys/fs/cgroup", true}}},
        {"v2, group from another namespace", "0::/../../other\n", v2Mount, {{"/sys/fs/cgroup", true}}},
        {"hybrid: v1 cpu beside v2",
         "4:memory:/x\n3:cpuset:/\n2:cpu,cpuacct:/job/7\n0::/job/7\n",
         hybridMounts,
         {{"/sys/fs/cgroup/unified/job/7", true},
          {"/sys/fs/cgroup/unified/job", true},
          {"/sys/fs/cgroup/unified", true},
          {"/sys/fs/cgroup/cpu,cpuacct/job/7", false},
          {"/sys/fs/cgroup/cpu,cpuacct/job", false},
          {"/sys/fs/cgroup/cpu,cpuacct", false}}},
        {"v1 container: the mount starts at the process's group",
         "2:cpu,cpuacct:/docker/abc\n",
         "50 40 0:29 /docker/abc /sys/fs/cgroup/cpu,cpuacct ro,nosuid - cgroup cgroup rw,cpu,cpuacct\n",
         {{"/sys/fs/cgroup/cpu,cpuacct", false}}},
        {"v1 container: a group outside the mount",
         "2:cpu:/elsewhere\n",
         "50 40 0:29 /docker/abc /sys/fs/cgroup/cpu ro - cgroup cgroup rw,cpu\n",
         {{"/sys/fs/cgroup/cpu", false}}},
        {"v1 group whose name starts like the mount root",
         "2:cpu:/docker/abcdef\n",
         "50 40 0:29 /docker/abc /sys/fs/cgroup/cpu ro - cgroup cgroup rw,cpu\n",
         {{"/sys/fs/cgroup/cpu", false}}},
        {"escaped mount point, optional fields",
         "0::/a\n",
         "30 23 0:26 / /mnt/cgroup\\040two rw shared:4 master:1 - cgroup2 none rw\n",
         {{"/mnt/cgroup two/a", true}, {"/mnt/cgroup two", true}}},
        {"cpuacct alone is not the cpu controller",
         "2:cpuacct:/a\n",
         "33 31 0:30 / /sys/fs/cgroup/cpuacct rw - cgroup cgroup rw,cpuacct\n",
         {}},
        {"no mount for the group",
         "0::/a\n",
         "32 31 0:29 / /sys/fs/cgroup/cpu rw - cgroup cgroup rw,cpu\n",
         {}},
        {"empty texts", "", "", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, processorcount::CpuControllerDirectories(c.cgroup, c.mountInfo)) << c.name;
}

// Quota files in a made-up hierarchy: the smallest limit anywhere on the way up applies.
TEST(ProcessorCount, QuotaFilesOfEveryGroupAbove) {
    char pattern[] = "/tmp/processorcount_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    const std::string root = pattern;
    auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
    const std::string outer = root + "/outer", inner = outer + "/inner";
    ASSERT_EQ(0, system(("mkdir -p '" + inner + "'").c_str()));
    write(outer + "/cpu.max", "300000 100000\n");
    write(inner + "/cpu.max", "max 100000\n");
    const std::vector<CgroupDirectory> v2 = {{inner, true}, {outer, true}, {root, true}};
    EXPECT_EQ(3, processorcount::LimitOfDirectories(v2));
    write(inner + "/cpu.max", "150000 100000\n");
    EXPECT_EQ(2, processorcount::LimitOfDirectories(v2));
    // v1 files beside them, read only for v1 directories.
    write(outer + "/cpu.cfs_quota_us", "250000\n");
    write(outer + "/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(2, processorcount::LimitOfDirectories(v2));
    EXPECT_EQ(3, processorcount::LimitOfDirectories({{outer, false}}));
    write(outer + "/cpu.cfs_quota_us", "50000\n");
    EXPECT_EQ(1, processorcount::LimitOfDirectories({{inner, true}, {outer, false}}));
    EXPECT_EQ(0, processorcount::LimitOfDirectories({{root, true}, {root + "/missing", false}}));
    system(("rm -rf '" + root + "'").c_str());
}

int AffinityOfThisThread() {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(0, sched_getaffinity(0, sizeof set, &set));
    return CPU_COUNT(&set);
}

int Bounded(int count) {
    const int limit = processorcount::CgroupLimit();
    return limit > 0 && limit < count ? limit : count;
}

// The count follows the calling thread's affinity set, lowered by the quota.
TEST(ProcessorCount, FollowsTheAffinitySet) {
    EXPECT_EQ(AffinityOfThisThread(), processorcount::AffinityCount());
    EXPECT_EQ(Bounded(AffinityOfThisThread()), ProcessorCount());
    std::thread([] {
        cpu_set_t set;
        ASSERT_EQ(0, sched_getaffinity(0, sizeof set, &set));
        // Keep the first one or two processors of the set.
        cpu_set_t fewer;
        CPU_ZERO(&fewer);
        for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < 2; ++cpu)
            if (CPU_ISSET(cpu, &set)) {
                CPU_SET(cpu, &fewer);
                ++kept;
                ASSERT_EQ(0, sched_setaffinity(0, sizeof fewer, &fewer));
                EXPECT_EQ(kept, processorcount::AffinityCount());
                EXPECT_EQ(Bounded(kept), ProcessorCount());
            }
    }).join();
}

} // namespace
} // namespace tsr::test
