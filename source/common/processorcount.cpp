#include "processorcount.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#elif defined(__linux__)
#include <sched.h>
#endif

namespace tsr {
namespace processorcount {

namespace {

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

// The whole of `text` as a decimal integer.
bool ParseInteger(std::string_view text, std::int64_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

// Whole processors a quota of `quota` per `period` gives, rounded up; 0 when it sets no limit.
int ProcessorsOfQuota(std::int64_t quota, std::int64_t period) {
    if (quota <= 0 || period <= 0) return 0;
    const std::int64_t processors = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<int>(std::min<std::int64_t>(processors, INT_MAX));
}

// The fields of `text` split at `separator`.
std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t at = text.find(separator);
        fields.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return fields;
        text.remove_prefix(at + 1);
    }
}

bool HasElement(std::string_view list, std::string_view element) {
    for (std::string_view item : Split(list, ','))
        if (item == element) return true;
    return false;
}

// Mount information writes space, tab, newline and backslash in paths as octal escapes.
std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto octal = [&](std::size_t at, char high) { return text[at] >= '0' && text[at] <= high; };
        if (text[i] == '\\' && i + 3 < text.size() && octal(i + 1, '3') && octal(i + 2, '7') &&
            octal(i + 3, '7')) {
            out +=
                static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct Mount {
    std::string root, point;
};

// The mount of the cgroup v2 hierarchy (`v2`) or of the v1 hierarchy holding the cpu controller.
bool FindMount(std::string_view mountInfo, bool v2, Mount& mount) {
    for (std::string_view line : Split(mountInfo, '\n')) {
        // ID parent major:minor root mount-point options [optional fields] - type source super-options
        const std::vector<std::string_view> fields = Split(Trim(line), ' ');
        const auto dash = std::find(fields.begin(), fields.end(), "-");
        if (fields.size() < 5 || dash == fields.end() || fields.end() - dash < 4) continue;
        const std::string_view type = dash[1], superOptions = dash[3];
        if (v2 ? type != "cgroup2" : (type != "cgroup" || !HasElement(superOptions, "cpu"))) continue;
        mount.root = Unescape(fields[3]);
        mount.point = Unescape(fields[4]);
        return true;
    }
    return false;
}

// The directories from the process's group in `mount` up to the mount point.
void AddDirectories(const Mount& mount, std::string_view group, bool v2, std::vector<CgroupDirectory>& out) {
    std::string relative(group);
    // Outside a cgroup namespace the group is named from the hierarchy's root, and a container's
    // mount may start below it; a group outside the mount leaves the mount point alone.
    if (mount.root != "/") {
        if (relative.compare(0, mount.root.size(), mount.root) == 0 &&
            (relative.size() == mount.root.size() || relative[mount.root.size()] == '/'))
            relative.erase(0, mount.root.size());
        else
            relative.clear();
    }
    while (!relative.empty() && relative.back() == '/') relative.pop_back();
    // A group seen from another namespace ("/../..") is not below the mount.
    if (relative.find("/..") != std::string::npos) relative.clear();
    std::string point = mount.point;
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    for (;;) {
        out.push_back({point + relative, v2});
        if (relative.empty()) return;
        relative.erase(relative.rfind('/'));
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::string text;
    // Control files are small; a bound keeps a strange one from costing much.
    std::istreambuf_iterator<char> it(file), end;
    for (; it != end && text.size() < 4096; ++it) text += *it;
    return text;
}

} // namespace

int LimitFromCpuMax(std::string_view cpuMax) {
    const std::vector<std::string_view> fields = Split(Trim(cpuMax), ' ');
    std::int64_t quota = 0, period = 0;
    if (fields.size() != 2 || !ParseInteger(fields[0], quota) || !ParseInteger(fields[1], period)) return 0;
    return ProcessorsOfQuota(quota, period);
}

int LimitFromCfsQuota(std::string_view quotaUs, std::string_view periodUs) {
    std::int64_t quota = 0, period = 0;
    if (!ParseInteger(Trim(quotaUs), quota) || !ParseInteger(Trim(periodUs), period)) return 0;
    return ProcessorsOfQuota(quota, period);
}

std::vector<CgroupDirectory> CpuControllerDirectories(std::string_view procCgroup,
                                                      std::string_view mountInfo) {
    std::vector<CgroupDirectory> directories;
    std::string_view v2Group, v1Group;
    bool hasV2 = false, hasV1 = false;
    for (std::string_view line : Split(procCgroup, '\n')) {
        // hierarchy-ID:controller-list:group; the group itself may hold colons.
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view id = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view group = Trim(line.substr(second + 1));
        if (group.empty() || group.front() != '/') continue;
        if (id == "0" && controllers.empty()) {
            v2Group = group;
            hasV2 = true;
        } else if (HasElement(controllers, "cpu")) {
            v1Group = group;
            hasV1 = true;
        }
    }
    Mount mount;
    if (hasV2 && FindMount(mountInfo, true, mount)) AddDirectories(mount, v2Group, true, directories);
    if (hasV1 && FindMount(mountInfo, false, mount)) AddDirectories(mount, v1Group, false, directories);
    return directories;
}

int LimitOfDirectories(const std::vector<CgroupDirectory>& directories) {
    int limit = 0;
    for (const CgroupDirectory& directory : directories) {
        const int found = directory.v2 ? LimitFromCpuMax(ReadFile(directory.path + "/cpu.max"))
                                       : LimitFromCfsQuota(ReadFile(directory.path + "/cpu.cfs_quota_us"),
                                                           ReadFile(directory.path + "/cpu.cfs_period_us"));
        if (found > 0 && (limit == 0 || found < limit)) limit = found;
    }
    return limit;
}

int CgroupLimit() {
#if defined(__linux__)
    return LimitOfDirectories(
        CpuControllerDirectories(ReadFile("/proc/self/cgroup"), ReadFile("/proc/self/mountinfo")));
#else
    return 0;
#endif
}

int AffinityCount() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const auto bits = [](DWORD_PTR mask) {
        int count = 0;
        for (; mask; mask &= mask - 1) ++count;
        return count;
    };
    int count = std::min(static_cast<int>(info.dwNumberOfProcessors), bits(info.dwActiveProcessorMask));
    DWORD_PTR process = 0, system = 0;
    // Zero masks mean threads in several processor groups: the group's own count stands.
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        count = std::min(count, bits(process));
    return std::max(count, 0);
#else
#if defined(__linux__)
    // Sets larger than cpu_set_t for machines with more than 1024 processors.
    for (int size = CPU_SETSIZE; size <= (1 << 20); size *= 2) {
        cpu_set_t* set = CPU_ALLOC(size);
        if (!set) break;
        const std::size_t bytes = CPU_ALLOC_SIZE(size);
        const bool known = sched_getaffinity(0, bytes, set) == 0;
        const int count = known ? CPU_COUNT_S(bytes, set) : 0;
        CPU_FREE(set);
        if (known) return count;
        if (errno != EINVAL) break;
    }
#endif
    return static_cast<int>(std::thread::hardware_concurrency());
#endif
}

} // namespace processorcount

int ProcessorCount() {
    int count = processorcount::AffinityCount();
    if (count <= 0) count = static_cast<int>(std::thread::hardware_concurrency());
    const int limit = processorcount::CgroupLimit();
    if (limit > 0 && (count <= 0 || limit < count)) count = limit;
    return std::max(count, 1);
}

} // namespace tsr
