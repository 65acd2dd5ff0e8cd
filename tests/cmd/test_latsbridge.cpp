// The LATS bridge when memory runs out: the grid declaration reports it and
// the session goes on (the process is not ended).
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/latsbridge.h"
#include "data/held.h"
#include "data/result.h"
#include "support/stdout_capture.h"

namespace {

[[maybe_unused]] float identity(const float*, float v) { return v; }

}  // namespace

TEST(LatsBridge, GridWithoutMemoryIsAnErrorNotAnExit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "an address-space limit can't be set under the address sanitizer";
#else
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // 2.5e8 longitudes need 2 GB, more than the child may map.
    rlimit lim{size_t(1) << 30, size_t(1) << 30};
    setrlimit(RLIMIT_AS, &lim);
    auto s = std::make_unique<session_state>();
    grid_field& g = *static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
    g.idim = 0;
    g.jdim = 1;
    g.isiz = 250000000;
    g.jsiz = 2;
    g.dim_min[0] = g.dim_min[1] = 1;
    g.i_to_world = g.j_to_world = identity;
    hold_result(s.get(), grid_ptr(&g));
    s->result_count = 1;
    StdoutCapture cap;
    int rc = kalats(s.get(), lats_op::grid, 0);
    std::string out = cap.text();
    s->result_count = 0;
    _exit(rc == 1 && out == "Memory Allocation Error in kalats \n" ? 42 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 42);
#endif
}
