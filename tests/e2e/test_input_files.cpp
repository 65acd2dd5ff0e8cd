// Files the program reads: a directory, a pipe or a device named where a file
// is expected is refused at once with a message, never waited on or read
// without end; and two sessions calling the same user function take turns.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/vemra_run.h"

namespace {

using dsfiles::answer;
using vemra_test::RunResult;
using vemra_test::TempDir;
using vemra_test::write_file;

bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

// A batch session that must end by itself: the program is killed after
// `seconds` (the test then fails on its status) instead of hanging the suite.
RunResult bounded_batch(const std::string& input, const TempDir& dir,
                        const std::vector<std::string>& env = {}, int seconds = 20) {
  return vemra_test::run_vemra({"-b", "-l"}, input, dir.path(), env, seconds);
}

// Two sessions call the same function (its transfer and result files are
// fixed by the table) 20 times each with their own argument; each must get
// the double of its own argument every time.
TEST(UserFunctionFiles, ConcurrentSessionsTakeTurnsOnTheTransferFiles) {
  TempDir shared, a, b;
  const std::string t = shared.file("t.bin"), r = shared.file("r.bin");
  write_file(shared.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE +
                                      " " + t + " " + r + " direct slow\n" + t + "\n" + r + "\n");
  const std::vector<std::string> env = {"KAUDFT=" + shared.file("udft")};
  const int kCalls = 20;
  auto session = [&](const TempDir& dir, int k, RunResult* out) {
    dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
    std::string input = "open g.ctl\nset x 2\nset y 2\n";
    for (int i = 0; i < kCalls; i++) input += "d udbl(ps+" + std::to_string(k) + ")\n";
    *out = bounded_batch(input + "quit\n", dir, env, 60);
  };
  RunResult ra, rb;
  std::thread ta(session, std::cref(a), 3, &ra);
  std::thread tb(session, std::cref(b), 7, &rb);
  ta.join();
  tb.join();
  // The grid holds zeros, so udbl(ps+k) is 2k.
  for (auto [res, want] : {std::pair{&ra, 6}, std::pair{&rb, 14}}) {
    ASSERT_EQ(res->status, 0) << res->out;
    size_t n = 0, at = 0;
    const std::string line = "Result value = " + std::to_string(want) + " \n";
    while ((at = res->out.find(line, at)) != std::string::npos) ++n, ++at;
    EXPECT_EQ(n, size_t(kCalls)) << res->out;
    EXPECT_FALSE(contains(res->out, "Error from udbl")) << res->out;
  }
  EXPECT_FALSE(vemra_test::file_exists(t));
  EXPECT_FALSE(vemra_test::file_exists(r));
}

}  // namespace
