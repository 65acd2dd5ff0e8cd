// Data sets and sessions of the end-to-end tests of files written by
// "set lats": a small daily data set, the commands that declare and write an
// output from it, and what a run leaves in its directory.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/vemra_run.h"

namespace latsfiles {

using namespace vemra_test;

// 36 x 9 global grid, daily from 28 February 2000 in the standard calendar:
// the third time is 1 March, two standard days but one 365-day day later.
inline constexpr int kNx = 36, kNy = 9;

inline double t_at(int x, int y, int t) { return 250 + x + 2 * y + 10 * t; }

// nx x ny points spaced d degrees from longitude 0 and latitude lat0.
inline void write_dataset(const TempDir& dir, int nx = kNx, int ny = kNy, int lat0 = -80,
                          int d_lon = 10, int d_lat = 20) {
  write_file(
      dir.file("d.ctl"),
      "dset ^d.dat\ntitle calendar test\nundef -9.99e33\nxdef " + std::to_string(nx) +
          " linear 0 " + std::to_string(d_lon) + "\nydef " + std::to_string(ny) + " linear " +
          std::to_string(lat0) + " " + std::to_string(d_lat) +
          "\nzdef 1 levels 1000\ntdef 3 linear 00z28feb2000 1dy\nvars 1\nt 0 0 T\nendvars\n");
  std::vector<float> v;
  for (int t = 1; t <= 3; t++)
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) v.push_back(float(t_at(x, y, t)));
  write_file(dir.file("d.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

// A parameter table with a variable on pressure levels whose one reference
// row (1000 hPa, mean 0) makes every field written a quality-control
// exception.
inline constexpr const char* kQcTable =
    "ta | 11 | Air temperature | K | float | | 1 | | x | y\n"
    "#!vert\n"
    "plev | Pressure level | hPa | multi | down | 100 | 0 | 0 | 0\n"
    "#!center\n"
    "pcmdi | 100 | 100 | 2\n"
    "#!qc\n"
    "ta | plev | 1000 | 0 | 1 | 1 | 1 | 1\n";

// Declares a daily file `name` of one surface variable from the displayed
// grid; `extra` holds further "set lats" words.
inline std::string declare(const std::string& name, const std::string& extra = "") {
  return "open d.ctl\nset x 1 36\nset y 1 9\nset t 1\n" + extra +
         "set lats frequency daily\nset lats deltat 1\nset lats create " + name +
         "\nset gxout latsgrid\nd t\nset lats var 1 tas average 1 0\nset gxout latsdata\n"
         "set lats write 1 1\n";
}

// Writes times 1 and 3 of `expr` (28 February and 1 March) and closes.
inline std::string write_two(const std::string& expr) {
  return "d " + expr + "\nset t 3\nd " + expr + "\nset lats close 1\n";
}

// Runs the program with standard output and standard error into one pipe,
// as a batch job logging both would; a positive limit caps the size of every
// file it writes (with the signal of the limit ignored, so writes fail).
inline RunResult run_one_log(const std::string& input, const std::string& dir, rlim_t limit = 0) {
  const std::string in_name = dir + "/.stdin";
  write_file(in_name, input);
  int fds[2];
  if (pipe(fds) != 0) return RunResult{};
  pid_t pid = fork();
  if (pid == 0) {
    int in = open(in_name.c_str(), O_RDONLY);
    if (in < 0) _exit(126);
    dup2(in, 0);
    dup2(fds[1], 1);
    dup2(fds[1], 2);
    close(fds[0]);
    close(fds[1]);
    if (limit) {
      std::signal(SIGXFSZ, SIG_IGN);
      struct rlimit rl = {limit, limit};
      if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(125);
    }
    setenv("TZ", "UTC", 1);
    setenv("LC_ALL", "C", 1);
    if (!getenv("KADDIR")) setenv("KADDIR", VEMRA_DATA_DIR, 1);
    exec_vemra(dir, {"-b", "-l"});
  }
  close(fds[1]);
  RunResult r;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, size_t(n));
  close(fds[0]);
  int st = 0;
  waitpid(pid, &st, 0);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return r;
}

inline std::string command_output(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Names in dir that begin with a dot other than the runner's own files:
// the writer's unfinished files.
inline std::vector<std::string> leftovers(const std::string& dir) {
  std::vector<std::string> v;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    if (n[0] == '.' && n != ".stdin" && n != ".stdout" && n != ".stderr") v.push_back(n);
  }
  return v;
}

}  // namespace latsfiles
