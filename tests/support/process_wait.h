// The one wait of every test that signals a running program at a chosen
// moment: until /proc shows the program where the test means to reach it
// (asleep in the system call of that wait, its reads past a given point,
// its address space grown by a given size) with no signal still on its way
// to it, never for a fixed time, which a loaded machine outlasts.
#pragma once

#include <sys/syscall.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace vemra_test {

// What /proc shows of a process at one moment.
struct process_view {
  bool alive = false;
  long call = -1;                   // the system call it sleeps in; -1 while it runs
  unsigned long long args[6] = {};  // that call's arguments
  unsigned long long pending = 0;   // signals sent to it and not yet taken
  long rchar = -1;                  // bytes its reads have returned so far
  long vm_kb = -1;                  // size of its address space

  bool asleep_in(const std::vector<long>& calls) const {
    for (long c : calls)
      if (call == c) return true;
    return false;
  }
  // Asleep in a poll with a time limit: a wait that gives up by itself when
  // what it waits for does not come.
  bool in_timed_poll() const {
    if (call == SYS_poll) return static_cast<int>(args[2]) >= 0;  // an int of milliseconds
    if (call == SYS_ppoll) return args[2] != 0;                   // a timespec, or none
    return false;
  }
};

inline process_view view_of(pid_t pid) {
  process_view v;
  const std::string dir = "/proc/" + std::to_string(pid) + "/";
  std::ifstream status(dir + "status");
  for (std::string key; status >> key;) {
    if (key == "State:") {
      std::string state;
      status >> state;
      v.alive = state != "Z" && state != "X";
    } else if (key == "VmSize:") {
      status >> v.vm_kb;
    } else if (key == "SigPnd:" || key == "ShdPnd:") {
      std::string mask;
      status >> mask;
      v.pending |= std::stoull(mask, nullptr, 16);
    }
    std::getline(status, key);
  }
  // "running", or the number of the call it sleeps in and its arguments.
  std::ifstream syscall(dir + "syscall");
  std::string first;
  if (syscall >> first && !first.empty() && first.find_first_not_of("0123456789") == first.npos) {
    v.call = std::stol(first);
    std::string arg;
    for (int i = 0; i < 6 && syscall >> arg; i++) v.args[i] = std::stoull(arg, nullptr, 16);
  }
  std::ifstream io(dir + "io");
  for (std::string key; io >> key;) {
    if (key == "rchar:") io >> v.rchar;
    std::getline(io, key);
  }
  return v;
}

// Whether a process started by pid (by any of its threads), or one they
// started, sleeps in one of calls.
inline bool descendant_asleep_in(pid_t pid, const std::vector<long>& calls) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream children(task.path() / "children");
    for (pid_t child; children >> child;)
      if (view_of(child).asleep_in(calls) || descendant_asleep_in(child, calls)) return true;
  }
  return false;
}

// Whether pid holds the file under name open.
inline bool holds_open(pid_t pid, const std::string& name) {
  std::error_code error;
  for (const auto& fd :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
    if (std::filesystem::equivalent(fd.path(), name, error)) return true;
  return false;
}

// The system calls the program's waits sleep in.
namespace waits {
// Its command input: a pipe is looked into by tee before it is read.
inline const std::vector<long> input = {SYS_tee, SYS_read};
// An over-long line whose writer went quiet.
inline const std::vector<long> quiet_input = {SYS_ppoll};
// The slices of a wait for a pipe's reader or for room in a pipe.
inline const std::vector<long> pipe = {SYS_poll, SYS_ppoll};
// A shell command or another program it started.
inline const std::vector<long> child = {SYS_wait4, SYS_waitid};
// A program that sleeps for a time, or pauses between tries.
inline const std::vector<long> timer = {SYS_clock_nanosleep, SYS_nanosleep};
}  // namespace waits

// Waits (up to `seconds`) until pid shows `sign` with no signal sent to it
// still pending; false when it never does or has ended. The default is long
// enough for a sanitized build on a loaded machine: a state that comes
// returns at once.
inline bool wait_until_waiting(pid_t pid, const std::function<bool(const process_view&)>& sign,
                               int seconds = 30) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const process_view v = view_of(pid);
    if (!v.alive) return false;
    if (sign(v) && v.pending == 0) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// The same, for a process asleep in one of calls.
inline bool wait_until_waiting(pid_t pid, const std::vector<long>& calls, int seconds = 30) {
  return wait_until_waiting(
      pid, [&calls](const process_view& v) { return v.asleep_in(calls); }, seconds);
}

}  // namespace vemra_test
