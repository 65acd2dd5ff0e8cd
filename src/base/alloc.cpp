// Allocation routines with one failure path.
#include "base/alloc.h"

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

const alloc_observer* observer = nullptr;
bool (*memory_giver)() = nullptr;

[[noreturn]] void fail(const char* text) {
  if (text) throw alloc_error(text);
  throw std::bad_alloc();
}

void check(bool fresh, const char* text) {
  if (observer && !observer->before_alloc(fresh)) fail(text);
}

// Where /proc/meminfo, /proc/self/cgroup and /sys/fs/cgroup are read from;
// empty for the system's own.
std::string system_root;

// Bytes of blocks taken and not yet written.
double untouched = 0;

// The number after `key` on the first line of a file starting with it; -1
// when the file or line is missing.
double keyed_value(const std::string& path, const char* key) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return -1;
  char line[256];
  double value = -1;
  const std::size_t n = std::strlen(key);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, n) != 0) continue;
    value = std::strtod(line + n, nullptr);
    break;
  }
  std::fclose(f);
  return value;
}

// The value in kB of the line starting with `key` in a /proc file, in bytes;
// -1 when the file or line is missing.
double proc_bytes(const std::string& path, const char* key) {
  const double kb = keyed_value(path, key);
  return kb < 0 ? -1 : kb * 1024.0;
}

// Room under one limit, given what the process has of that kind.
double under_limit(int resource, const char* key) {
  rlimit lim{};
  if (getrlimit(resource, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY) {
    return std::numeric_limits<double>::infinity();
  }
  const double used = proc_bytes("/proc/self/status", key);
  const double room = double(lim.rlim_cur) - (used > 0 ? used : 0);
  return room > 0 ? room : 0;
}

// The files of one kind of memory control group. Keys in memory.stat end in
// a blank, so that "active_file " is not read from "total_active_file ..."
// nor "file " from "file_dirty ...".
struct group_files {
  const char* limit;
  const char* usage;
  // The file-backed pages of the group, each key read where the one before
  // it is missing (the first version's total_ keys count the groups below).
  // Not the first version's cache, which holds tmpfs and shared memory too:
  // those go only to swap.
  const char* file[2][2];
  // Those of them the group cannot drop before they are written back.
  const char* unwritten[2][2];
};
constexpr group_files kGroupV2 = {"memory.max",
                                  "memory.current",
                                  {{"active_file ", nullptr}, {"inactive_file ", nullptr}},
                                  {{"file_dirty ", nullptr}, {"file_writeback ", nullptr}}};
constexpr group_files kGroupV1 = {
    "memory.limit_in_bytes",
    "memory.usage_in_bytes",
    {{"total_active_file ", "active_file "}, {"total_inactive_file ", "inactive_file "}},
    {{"total_dirty ", "dirty "}, {"total_writeback ", "writeback "}}};

// The sum over pairs of keys of memory.stat, each pair read as its first
// key or, where that line is missing, its second; missing keys count 0.
double stat_sum(const std::string& stat, const char* const (&keys)[2][2]) {
  double sum = 0;
  for (const auto& pair : keys) {
    double v = -1;
    for (const char* key : pair)
      if (key && v < 0) v = keyed_value(stat, key);
    if (v > 0) sum += v;
  }
  return sum;
}

// The number a whole file holds; -1 when it is missing or holds none ("max").
double file_number(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "r");
  if (!f) return -1;
  char word[64] = "";
  const int got = std::fscanf(f, "%63s", word);
  std::fclose(f);
  char* end = nullptr;
  const double v = got == 1 ? std::strtod(word, &end) : -1;
  return got == 1 && end != word && *end == '\0' ? v : -1;
}

// Room under one group's limit: the limit less the group's use, the file
// pages it could drop (its page cache, active or not, less what is dirty or
// being written back) counted as free, as the machine's available memory
// counts them.
double under_group(const std::string& dir, const group_files& g) {
  // Unlimited in the first version reads as a number near 2^63.
  constexpr double kNoLimit = 4.6e18;
  const double limit = file_number(dir + "/" + g.limit);
  if (limit < 0 || limit >= kNoLimit) return std::numeric_limits<double>::infinity();
  double used = std::max(file_number(dir + "/" + g.usage), 0.0);
  const std::string stat = dir + "/memory.stat";
  const double dropped = stat_sum(stat, g.file) - stat_sum(stat, g.unwritten);
  if (dropped > 0) used = std::max(used - dropped, 0.0);
  return std::max(limit - used, 0.0);
}

// Room under the memory limits of the process's control group and of every
// group above it (a scheduler sets the limit on the job, which holds the
// process in a group of its own), in either version of the hierarchy.
double group_room() {
  double room = std::numeric_limits<double>::infinity();
  std::FILE* f = std::fopen((system_root + "/proc/self/cgroup").c_str(), "r");
  if (!f) return room;
  const std::string sys = system_root + "/sys/fs/cgroup";
  char line[4096];
  while (std::fgets(line, sizeof line, f)) {
    // id:controllers:path
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t a = text.find(':'), b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = "," + text.substr(a + 1, b - a - 1) + ",";
    std::string path = text.substr(b + 1);
    if (path.empty() || path[0] != '/') continue;
    std::vector<std::string> mounts;
    const group_files* g = &kGroupV2;
    if (controllers == ",,") {
      // Alone, or beside the first version's controllers.
      mounts = {sys, sys + "/unified"};
    } else if (controllers.find(",memory,") != std::string::npos) {
      mounts = {sys + "/memory"};
      g = &kGroupV1;
    } else {
      continue;
    }
    for (;;) {
      for (const std::string& m : mounts) room = std::min(room, under_group(m + path, *g));
      if (path == "/") break;
      const std::size_t up = path.find_last_of('/');
      path.resize(up == 0 ? 1 : up);
    }
  }
  std::fclose(f);
  return room;
}

}  // namespace

memory_room kamemory_room() {
  double machine = proc_bytes(system_root + "/proc/meminfo", "MemAvailable:");
  if (machine < 0) {
    const long pages = sysconf(_SC_AVPHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    machine = pages > 0 && page > 0 ? double(pages) * double(page)
                                    : std::numeric_limits<double>::infinity();
  }
  // Freed blocks the allocator keeps for reuse are not available to others
  // but are to the session; blocks not yet written are the session's
  // already. Neither shows in what the limits of the process count.
  const double kept = double(mallinfo2().fordblks) - untouched;
  const memory_room bounds[] = {
      {machine + kept, memory_bound::machine},
      {under_limit(RLIMIT_AS, "VmSize:"), memory_bound::address_space},
      {under_limit(RLIMIT_DATA, "VmData:"), memory_bound::data_size},
      {group_room() + kept, memory_bound::control_group},
  };
  memory_room least = bounds[0];
  for (const memory_room& r : bounds)
    if (r.bytes < least.bytes) least = r;
  least.bytes = std::max(least.bytes, 0.0);
  return least;
}

void kareserve(double points, double bytes, const char* text, double held) {
  // Below this no grid is worth a look at /proc.
  constexpr double kMeasured = 1 << 20;
  if (bytes < kMeasured) return;
  memory_room room = kamemory_room();
  if (bytes <= room.bytes) return;
  if (memory_giver && memory_giver()) {
    room = kamemory_room();
    if (bytes <= room.bytes) return;
  }
  room.bytes += held;
  throw memory_refusal(text ? text : "Memory allocation error\n", points, held + bytes, room);
}

untouched_block::untouched_block(double bytes) noexcept : left_(bytes) { untouched += left_; }

untouched_block::~untouched_block() { untouched -= left_; }

void untouched_block::written(double bytes) noexcept {
  bytes = std::min(bytes, left_);
  left_ -= bytes;
  untouched -= bytes;
}

void kaset_system_root(const char* root) { system_root = root ? root : ""; }

void* kamalloc(std::size_t size, const char* text) {
  check(true, text);
  void* p = std::malloc(size ? size : 1);
  if (!p) fail(text);
  return p;
}

void* kacalloc(std::size_t count, std::size_t size, const char* text) {
  check(true, text);
  void* p = (count && size) ? std::calloc(count, size) : std::calloc(1, 1);
  if (!p) fail(text);
  return p;
}

void* karealloc(void* block, std::size_t size, const char* text) {
  check(block == nullptr, text);
  void* p = std::realloc(block, size ? size : 1);
  if (!p) fail(text);  // the old block stays valid and owned by the caller
  return p;
}

void kafree(void* block) noexcept {
  if (!block) return;
  std::free(block);
  if (observer && observer->after_free) observer->after_free();
}

void kakeep_freed_blocks() {
  // Blocks up to the allocator's largest threshold come from the heap, and
  // up to 256 MB freed at its top stay there: one step of a loop over a
  // quarter-degree globe frees some tens of megabytes.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

void kagive_back_freed() noexcept {
  // Also releases whole free pages inside the heap, which the threshold
  // above never does.
  malloc_trim(0);
}

void kaset_alloc_observer(const alloc_observer* o) { observer = o; }

void kaset_memory_giver(bool (*give_back)()) { memory_giver = give_back; }

char* kastrdup(const char* text) {
  std::size_t n = std::char_traits<char>::length(text) + 1;
  auto* p = static_cast<char*>(kamalloc(n));
  std::char_traits<char>::copy(p, text, n);
  return p;
}
