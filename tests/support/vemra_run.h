// Helpers for end-to-end tests: run the built vemra binary in a scratch
// directory with a given standard input and collect what it printed.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace vemra_test {

// A fresh directory under the system temp dir, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vemra-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void write_file(const std::string& name, const std::string& text) {
  std::ofstream out(name, std::ios::binary);
  out << text;
}

inline bool file_exists(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0;
}

// The environment the suite runs the program in, also when the test binary
// is run by hand without ctest's (a session without KADDIR draws its text
// without the stroke fonts): TZ, LC_ALL and KADDIR over this process's own,
// then env ("NAME=value" sets, "NAME" alone unsets).
inline std::vector<std::string> test_environment(const std::vector<std::string>& env = {}) {
  std::vector<std::string> vars;
  for (char** e = environ; *e; ++e) vars.emplace_back(*e);
  auto name_of = [](const std::string& v) { return v.substr(0, v.find('=')); };
  auto set = [&](const std::string& entry) {
    const std::string name = name_of(entry);
    std::erase_if(vars, [&](const std::string& v) { return name_of(v) == name; });
    if (entry.find('=') != std::string::npos) vars.push_back(entry);
  };
  set("TZ=UTC");
  set("LC_ALL=C");
  if (!getenv("KADDIR")) set(std::string("KADDIR=") + VEMRA_DATA_DIR);
  for (const auto& e : env) set(e);
  return vars;
}

// The start of VEMRA_BIN with arguments in a directory, made before a fork:
// the child of a process with other threads may only make calls that are
// safe in a signal handler until it execs (another thread may have held an
// allocator's lock at the fork, and the sanitizer's allocator is not reset
// in the child), so run() allocates nothing.
class prepared_exec {
 public:
  prepared_exec(std::string dir, std::vector<std::string> args,
                const std::vector<std::string>& env = {})
      : dir_(std::move(dir)), args_(std::move(args)), env_(test_environment(env)) {
    argv_.push_back(const_cast<char*>(VEMRA_BIN));
    for (auto& a : args_) argv_.push_back(a.data());
    argv_.push_back(nullptr);
    for (auto& e : env_) envp_.push_back(e.data());
    envp_.push_back(nullptr);
  }
  prepared_exec(const prepared_exec&) = delete;  // argv_ and envp_ point into it
  prepared_exec& operator=(const prepared_exec&) = delete;

  [[noreturn]] void run() const {
    if (chdir(dir_.c_str()) != 0) _exit(126);
    execve(VEMRA_BIN, argv_.data(), envp_.data());
    _exit(127);
  }

 private:
  std::string dir_;
  std::vector<std::string> args_, env_;
  std::vector<char*> argv_, envp_;
};

// In the forked child of a process with no other thread: runs VEMRA_BIN with
// the arguments in dir, in this process's environment and the suite's;
// never returns.
[[noreturn]] inline void exec_vemra(const std::string& dir, std::vector<std::string> args) {
  prepared_exec(dir, std::move(args)).run();
}

struct RunResult {
  int status = -1;        // exit status, or 128 + signal number
  std::string out;        // standard output
  std::string err;        // standard error
  long minor_faults = 0;  // pages the run touched for the first time
};

// What the child does before it starts the program, beyond its streams.
struct child_setup {
  unsigned seconds = 0;    // ended by SIGALRM after this long (0: never)
  rlim_t stack_bytes = 0;  // its stack limit (0: as inherited)
  rlim_t fsize_bytes = 0;  // the size limit of files it writes (0: as inherited)
  bool as_user = false;    // runs as uid and gid, with no supplementary groups
  uid_t uid = 0;
  gid_t gid = 0;
};

// Runs VEMRA_BIN with the arguments in `dir`, feeding `input` on standard
// input (written to dir/.stdin by this process) and collecting the output
// files (opened by the child, as its user).
inline RunResult run_vemra_with(const std::vector<std::string>& args, const std::string& input,
                                const std::string& dir, const std::vector<std::string>& env,
                                const child_setup& setup) {
  const std::string in_name = dir + "/.stdin";
  const std::string out_name = dir + "/.stdout";
  const std::string err_name = dir + "/.stderr";
  write_file(in_name, input);
  const prepared_exec start(dir, args, env);
  pid_t pid = fork();
  if (pid == 0) {
    if (setup.as_user &&
        (setgroups(0, nullptr) != 0 || setgid(setup.gid) != 0 || setuid(setup.uid) != 0))
      _exit(125);
    if (setup.fsize_bytes) {
      rlimit lim{setup.fsize_bytes, setup.fsize_bytes};
      if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(124);
    }
    int in = open(in_name.c_str(), O_RDONLY);
    int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (setup.seconds) alarm(setup.seconds);  // kept across exec
    if (setup.stack_bytes) {
      rlimit lim{setup.stack_bytes, setup.stack_bytes};
      if (setrlimit(RLIMIT_STACK, &lim) != 0) _exit(125);
    }
    start.run();
  }
  RunResult r;
  int st = 0;
  rusage use{};
  wait4(pid, &st, 0, &use);
  r.minor_faults = use.ru_minflt;
  if (WIFEXITED(st))
    r.status = WEXITSTATUS(st);
  else if (WIFSIGNALED(st))
    r.status = 128 + WTERMSIG(st);
  r.out = read_file(out_name);
  r.err = read_file(err_name);
  return r;
}

// Runs VEMRA_BIN with the arguments in `dir`, feeding `input` on standard
// input. KADDIR, TZ and LC_ALL come from the test environment (set by ctest);
// `env` adds or overrides variables ("NAME=value"). A run that could hang
// gives `seconds`: the program is then ended by SIGALRM (status 142) after
// that long instead of blocking the suite. `stack_bytes` limits the
// program's stack (as "ulimit -s" would).
inline RunResult run_vemra(const std::vector<std::string>& args, const std::string& input,
                           const std::string& dir, const std::vector<std::string>& env = {},
                           unsigned seconds = 0, rlim_t stack_bytes = 0) {
  child_setup setup;
  setup.seconds = seconds;
  setup.stack_bytes = stack_bytes;
  return run_vemra_with(args, input, dir, env, setup);
}

// The usual batch session: "-b -l" with commands on standard input.
inline RunResult run_batch(const std::string& input, const std::string& dir,
                           const std::vector<std::string>& extra = {},
                           const std::vector<std::string>& env = {}) {
  std::vector<std::string> args = {"-b", "-l"};
  args.insert(args.end(), extra.begin(), extra.end());
  return run_vemra(args, input, dir, env);
}

// Reads a big-endian 16-bit word from a byte string.
inline int be16(const std::string& s, size_t pos) {
  return static_cast<int16_t>((static_cast<unsigned char>(s[pos]) << 8) |
                              static_cast<unsigned char>(s[pos + 1]));
}

// What the command cmd printed in a session transcript out, the first one
// at or after *at (moved past it).
inline std::string next_answer(const std::string& out, const std::string& cmd, size_t* at) {
  const std::string key = "ka-> " + cmd + "\n";
  size_t p = out.find(key, *at);
  if (p == std::string::npos) return "<no " + cmd + ">";
  p += key.size();
  *at = p;
  const size_t e = out.find("ka-> ", p);
  return out.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

}  // namespace vemra_test
