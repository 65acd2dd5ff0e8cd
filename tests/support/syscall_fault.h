// Fault injection for faults the system gives only rarely (a failed fstat or
// fchmod, an open refused for an odd reason): a seccomp filter makes chosen
// system calls fail with a chosen error in the calling process and in every
// program it starts from then on. It cannot be undone: call it in a forked
// child.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vemra_test {

#if defined(__x86_64__)
constexpr unsigned kFilterArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr unsigned kFilterArch = AUDIT_ARCH_AARCH64;
#else
constexpr unsigned kFilterArch = 0;
#endif

// Why faults cannot be injected here ("" when they can).
inline std::string cannot_inject_faults() {
  return kFilterArch ? "" : "no system-call filter for this machine";
}

// The calls of a stat of an open file, whichever the C library uses.
inline std::vector<long> fstat_calls() {
  std::vector<long> calls = {SYS_newfstatat, SYS_statx};
#ifdef SYS_fstat
  calls.push_back(SYS_fstat);
#endif
  return calls;
}

// From now on every call in calls fails with err; false when the filter
// could not be installed.
inline bool fail_syscalls(const std::vector<long>& calls, int err) {
  if (!kFilterArch) return false;
  std::vector<sock_filter> prog = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kFilterArch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
  };
  for (long nr : calls) {
    prog.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(nr), 0, 1));
    prog.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (err & SECCOMP_RET_DATA)));
  }
  prog.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog fp{static_cast<unsigned short>(prog.size()), prog.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &fp) == 0;
}

}  // namespace vemra_test
