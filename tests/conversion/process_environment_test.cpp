// SPDX-License-Identifier: MIT
#include "process_environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include <sched.h>

namespace tollamere {
namespace {

namespace fs = std::filesystem;

// Control group trees as version 2 and version 1 lay them out, each row its
// own tree of files.
TEST(ProcessEnvironmentTest, ControlGroupLimitsAreTheLeastOnTheWayUp)
{
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string selfCgroup;
        std::optional<std::uint64_t> memory;
        std::optional<double> processors;
    } rows[] = {
        {"unified, limits above and on the group",
         {{"memory.max", "max"}, {"a/memory.max", "104857600"}, {"a/b/memory.max", "209715200"},
          {"a/b/cpu.max", "150000 100000"}, {"a/cpu.max", "max 100000"}},
         "0::/a/b\n", 104857600, 1.5},
        {"unified, no limit anywhere", {{"memory.max", "max"}, {"a/cpu.max", "max 100000"}}, "0::/a\n", {}, {}},
        {"version 1 in a container that mounts its own group as the root",
         {{"memory/memory.limit_in_bytes", "1073741824"}, {"cpu,cpuacct/cpu.cfs_quota_us", "50000"},
          {"cpu,cpuacct/cpu.cfs_period_us", "100000"}},
         "4:memory:/process_api/x\n2:cpu,cpuacct:/process_api/x\n1:name=systemd:/\n", 1073741824, 0.5},
        {"version 1 without limits",
         {{"memory/memory.limit_in_bytes", "9223372036854771712"}, {"cpu/cpu.cfs_quota_us", "-1"},
          {"cpu/cpu.cfs_period_us", "100000"}},
         "4:memory:/\n1:cpu:/\n", {}, {}},
        {"unreadable numbers and no files", {{"memory.max", "lots"}, {"cpu.max", "100000"}}, "0::/gone\nbroken\n", {}, {}},
    };
    for (const auto& row : rows) {
        const fs::path root = fs::temp_directory_path() / ("tollamere-cgroup-" + std::to_string(std::random_device{}()));
        for (const auto& [name, text] : row.files) {
            fs::create_directories((root / name).parent_path());
            std::ofstream(root / name) << text << '\n';
        }
        const ControlGroupLimits limits = ReadControlGroupLimits(root, row.selfCgroup);
        EXPECT_EQ(limits.memoryBytes, row.memory) << row.name;
        EXPECT_EQ(limits.processors, row.processors) << row.name;
        fs::remove_all(root);
    }
}

// Bound to one processor, as taskset -c 0 binds it, the process counts one.
TEST(ProcessEnvironmentTest, BoundProcessorsAreTheOnesCounted)
{
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &before)) {
            CPU_SET(cpu, &one);
            break;
        }
    }
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    const unsigned bound = UsableProcessors();
    ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
    EXPECT_EQ(bound, 1u);
    EXPECT_LE(UsableProcessors(), unsigned(CPU_COUNT(&before)));
    EXPECT_GT(UsableMemoryBytes(), 0u);
}

} // namespace
} // namespace tollamere
