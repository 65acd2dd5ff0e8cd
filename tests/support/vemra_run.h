// Helpers for end-to-end tests: run the built vemra binary in a scratch
// directory with a given standard input and collect what it printed.
#pragma once

#include <fcntl.h>
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

// In a forked child: the environment the suite runs the program in, also
// when the test binary is run by hand without ctest's (a session without
// KADDIR draws its text without the stroke fonts).
inline void set_test_environment() {
  setenv("TZ", "UTC", 1);
  setenv("LC_ALL", "C", 1);
  if (!getenv("KADDIR")) setenv("KADDIR", VEMRA_DATA_DIR, 1);
}

// In a forked child: runs VEMRA_BIN with the arguments in dir; never returns.
[[noreturn]] inline void exec_vemra(const std::string& dir, std::vector<std::string> args) {
  if (chdir(dir.c_str()) != 0) _exit(126);
  std::vector<char*> argv{const_cast<char*>(VEMRA_BIN)};
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(VEMRA_BIN, argv.data());
  _exit(127);
}

struct RunResult {
  int status = -1;        // exit status, or 128 + signal number
  std::string out;        // standard output
  std::string err;        // standard error
  long minor_faults = 0;  // pages the run touched for the first time
};

// Runs VEMRA_BIN with the arguments in `dir`, feeding `input` on standard
// input. KADDIR, TZ and LC_ALL come from the test environment (set by ctest);
// `env` adds or overrides variables ("NAME=value"). A run that could hang
// gives `seconds`: the program is then ended by SIGALRM (status 142) after
// that long instead of blocking the suite. `stack_bytes` limits the
// program's stack (as "ulimit -s" would).
inline RunResult run_vemra(const std::vector<std::string>& args, const std::string& input,
                           const std::string& dir, const std::vector<std::string>& env = {},
                           unsigned seconds = 0, rlim_t stack_bytes = 0) {
  std::string in_name = dir + "/.stdin";
  std::string out_name = dir + "/.stdout";
  std::string err_name = dir + "/.stderr";
  write_file(in_name, input);
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(in_name.c_str(), O_RDONLY);
    int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    set_test_environment();
    for (const auto& e : env) {
      auto eq = e.find('=');
      if (eq == std::string::npos)
        unsetenv(e.c_str());
      else
        setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
    }
    if (seconds) alarm(seconds);  // kept across exec
    if (stack_bytes) {
      rlimit lim{stack_bytes, stack_bytes};
      if (setrlimit(RLIMIT_STACK, &lim) != 0) _exit(125);
    }
    exec_vemra(dir, args);
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
