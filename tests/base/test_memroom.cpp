// The memory a grid is measured against, read from fixture copies of
// /proc/meminfo, /proc/self/cgroup and the control-group files: the least of
// the machine's available memory and the room each group's limit leaves,
// less what blocks taken but not yet written will still take.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::TempDir;

constexpr double kGiB = 1024.0 * 1024 * 1024;

bool unlimited(int resource) {
  rlimit lim{};
  return getrlimit(resource, &lim) == 0 && lim.rlim_cur == RLIM_INFINITY;
}

}  // namespace

TEST(MemoryRoom, GroupLimitsBoundTheMachinesMemory) {
  if (!unlimited(RLIMIT_AS) || !unlimited(RLIMIT_DATA))
    GTEST_SKIP() << "a process limit of the test itself would bound the room";
  using files = std::vector<std::pair<std::string, std::string>>;
  // 8 GiB available on the machine.
  const files machine = {{"proc/meminfo",
                          "MemTotal:       16777216 kB\n"
                          "MemAvailable:    8388608 kB\nMemFree: 1 kB\n"}};
  // The second version: 2 GiB for the step the process is in, which uses
  // 1.5 GiB of which 0.25 GiB are file pages it could drop.
  const files v2_step = {{"proc/self/cgroup", "0::/job/step\n"},
                         {"sys/fs/cgroup/job/step/memory.max", "2147483648\n"},
                         {"sys/fs/cgroup/job/step/memory.current", "1610612736\n"},
                         {"sys/fs/cgroup/job/step/memory.stat",
                          "anon 1342177280\nfile 268435456\ninactive_file 268435456\n"}};
  constexpr auto group = memory_bound::control_group, whole = memory_bound::machine;
  struct row {
    const char* what;
    double room;  // in GiB
    memory_bound bound;
    files fixture;
    double untouched = 0, written = 0;  // bytes of a block being filled
  };
  const row rows[] = {
      {"no control group file", 8, whole, {}},
      {"the second version, limit on the process's own group", 0.75, group, v2_step},
      {"the second version, limit on the job above",
       0.75,
       group,
       {{"proc/self/cgroup", "0::/job/step\n"},
        {"sys/fs/cgroup/job/step/memory.max", "max\n"},
        {"sys/fs/cgroup/job/step/memory.current", "1610612736\n"},
        {"sys/fs/cgroup/job/memory.max", "1073741824\n"},
        {"sys/fs/cgroup/job/memory.current", "268435456\n"}}},
      {"the second version, no limit set",
       8,
       whole,
       {{"proc/self/cgroup", "0::/job/step\n"},
        {"sys/fs/cgroup/job/step/memory.max", "max\n"},
        {"sys/fs/cgroup/job/step/memory.current", "1610612736\n"},
        {"sys/fs/cgroup/job/memory.max", "max\n"}}},
      {"a group limit above the machine's memory",
       8,
       whole,
       {{"proc/self/cgroup", "0::/big\n"},
        {"sys/fs/cgroup/big/memory.max", "68719476736\n"},
        {"sys/fs/cgroup/big/memory.current", "1073741824\n"}}},
      {"the first version",
       2,
       group,
       {{"proc/self/cgroup", "5:cpu,cpuacct:/slurm\n4:memory:/slurm/job_1\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.limit_in_bytes", "3221225472\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.usage_in_bytes", "1073741824\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.stat",
         "cache 0\ntotal_cache 0\ntotal_active_file 0\ntotal_inactive_file 0\n"}}},
      // A batch job that has read its inputs: its page cache, active or
      // not, is dropped as readily, all but what is still to be written.
      {"the second version, a group full of active page cache",
       1.5,
       group,
       {{"proc/self/cgroup", "0::/job\n"},
        {"sys/fs/cgroup/job/memory.max", "2147483648\n"},
        {"sys/fs/cgroup/job/memory.current", "2147483648\n"},
        {"sys/fs/cgroup/job/memory.stat",
         "anon 536870912\nfile 1610612736\nactive_file 1610612736\ninactive_file 0\n"
         "file_dirty 0\nfile_writeback 0\n"}}},
      {"the second version, page cache partly dirty or being written back",
       1,
       group,
       {{"proc/self/cgroup", "0::/job\n"},
        {"sys/fs/cgroup/job/memory.max", "2147483648\n"},
        {"sys/fs/cgroup/job/memory.current", "2147483648\n"},
        {"sys/fs/cgroup/job/memory.stat",
         "file 1610612736\nactive_file 1073741824\ninactive_file 536870912\n"
         "file_mapped 1\nfile_dirty 268435456\nfile_writeback 268435456\n"}}},
      {"the first version, the page cache of the group and those below it",
       1.25,
       group,
       {{"proc/self/cgroup", "4:memory:/slurm/job_1\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.limit_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.usage_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.stat",
         "cache 0\nactive_file 0\ninactive_file 0\ndirty 0\nwriteback 0\n"
         "total_cache 1610612736\ntotal_active_file 1073741824\n"
         "total_inactive_file 536870912\ntotal_dirty 268435456\ntotal_writeback 0\n"}}},
      // tmpfs files and shared memory are in the cache but go only to swap.
      {"the first version, a cache of tmpfs and shared memory",
       0.25,
       group,
       {{"proc/self/cgroup", "4:memory:/g\n"},
        {"sys/fs/cgroup/memory/g/memory.limit_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/g/memory.usage_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/g/memory.stat",
         "cache 1342177280\nshmem 1073741824\nactive_file 0\ninactive_file 268435456\n"
         "total_cache 1342177280\ntotal_shmem 1073741824\ntotal_active_file 0\n"
         "total_inactive_file 268435456\ntotal_dirty 0\ntotal_writeback 0\n"}}},
      {"the first version, the group's own page cache",
       0.75,
       group,
       {{"proc/self/cgroup", "4:memory:/g\n"},
        {"sys/fs/cgroup/memory/g/memory.limit_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/g/memory.usage_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/g/memory.stat",
         "cache 1073741824\nactive_file 805306368\ninactive_file 268435456\ndirty 0\n"
         "writeback 268435456\n"}}},
      {"the first version, unlimited",
       8,
       whole,
       {{"proc/self/cgroup", "4:memory:/slurm/job_1\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/slurm/job_1/memory.usage_in_bytes", "1073741824\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"}}},
      {"the first version, memory beside another controller",
       1,
       group,
       {{"proc/self/cgroup", "3:cpu,memory:/g\n"},
        {"sys/fs/cgroup/memory/g/memory.limit_in_bytes", "1073741824\n"},
        {"sys/fs/cgroup/memory/g/memory.usage_in_bytes", "0\n"}}},
      {"both versions at once, the first binding",
       2,
       group,
       {{"proc/self/cgroup", "4:memory:/v\n0::/u\n"},
        {"sys/fs/cgroup/unified/u/memory.max", "3221225472\n"},
        {"sys/fs/cgroup/unified/u/memory.current", "0\n"},
        {"sys/fs/cgroup/memory/v/memory.limit_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/v/memory.usage_in_bytes", "0\n"}}},
      {"a group past its limit",
       0,
       group,
       {{"proc/self/cgroup", "0::/full\n"},
        {"sys/fs/cgroup/full/memory.max", "1073741824\n"},
        {"sys/fs/cgroup/full/memory.current", "1610612736\n"}}},
      {"a block not yet written, against the group", 0.25, group, v2_step, 0.5 * kGiB},
      {"a block half written, against the group", 0.5, group, v2_step, 0.5 * kGiB, 0.25 * kGiB},
      {"a block not yet written, against the machine", 5, whole, {}, 3 * kGiB},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    TempDir root;
    files all = machine;
    all.insert(all.end(), r.fixture.begin(), r.fixture.end());
    for (const auto& [path, text] : all) {
      const std::filesystem::path file = root.file(path);
      std::filesystem::create_directories(file.parent_path());
      vemra_test::write_file(file.string(), text);
    }
    kaset_system_root(root.path().c_str());
    memory_room got{};
    {
      untouched_block block(r.untouched);
      block.written(r.written);
      got = kamemory_room();
    }
    // Once filled or let go of, a block counts no more.
    const memory_room after = kamemory_room();
    kaset_system_root(nullptr);
    EXPECT_EQ(got.bound, r.bound);
    // The allocator's own free blocks count as room: a few MB here.
    EXPECT_NEAR(got.bytes / kGiB, r.room, 1.0 / 64);
    EXPECT_NEAR(after.bytes - got.bytes, r.untouched - r.written, 1 << 20);
  }
}
