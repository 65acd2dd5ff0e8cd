// Message levels and the capture chain that hands a command's output to a
// running script.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/alloc.h"
#include "cmd/dispatch.h"
#include "cmd/display.h"
#include "base/message.h"
#include "base/session.h"
#include "gx/gx.h"
#include "support/stdout_capture.h"

namespace {

class Capture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StdoutCapture quiet;
    gxstrt(11, 8.5f, true);
  }
  void SetUp() override {
    nesting().savpcm = gcmn;
    kasetmsgflg(0);
  }
};

TEST_F(Capture, FormattedMessagesOfAnyLength) {
  std::string long_word(3000, 'w');
  StdoutCapture cap;
  kaprntf(msg_level::result, "File %i has been closed\n", 7);
  kaprntf(msg_level::error, "<%s>\n", long_word.c_str());
  EXPECT_EQ(cap.text(), "File 7 has been closed\n<" + long_word + ">\n");
}

// A captured command: results are returned and not printed, errors both,
// a silent command gives only its code; nothing of one command carries
// into the next.
TEST_F(Capture, CapturedCommandsReturnTheirOutput) {
  int rc = -5;
  StdoutCapture cap;
  auto out = kagsdo("q config", rc);
  EXPECT_EQ(cap.text(), "");
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->rfind("Config: v", 0), 0u);
  EXPECT_EQ(kamsgflg(), 0);
  const std::string closed = "Close Error: Only last file may be closed\n";
  EXPECT_EQ(stdout_of([&] { out = kagsdo("close 1 2", rc); }), closed);
  EXPECT_EQ(out.value_or("<none>"), closed);
  EXPECT_EQ(rc, 1);
  out = kagsdo("stack", rc);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(rc, 0);
  out = kagsdo("quit", rc);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(rc, -1);
}

TEST_F(Capture, CommandFileInsideCaptureIsPrintedNotReturned) {
  char name[] = "/tmp/vemra-msgtest-XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  std::string body = "stack\nclose 1 2\nstack never\n";
  ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
  close(fd);
  int rc = 0;
  kasetmsgflg(1);  // an outer capture is running
  StdoutCapture cap;
  auto out = kagsdo(std::string("exec ") + name, rc);
  std::string printed = cap.text();
  EXPECT_EQ(kamsgflg(), 1);
  kasetmsgflg(0);
  unlink(name);
  EXPECT_EQ(rc, 1);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(printed, std::string("stack\nclose 1 2\nClose Error: Only last file may be closed\n") +
                         "EXEC error:  error in " + name + ".  EXEC stopped.\n");
}

}  // namespace

// A grid refused for want of memory: the refusal names what bounded the
// memory left and gives both sizes, in MB below a GB, never alike when they
// differ.
TEST_F(Capture, MemoryRefusalsNameTheBoundAndTheSizes) {
  constexpr double mb = 1024.0 * 1024, gb = 1024 * mb;
  const struct {
    memory_bound bound;
    double need, left;
    const char* says;
  } rows[] = {
      {memory_bound::machine, 16.3 * gb, 7.8 * gb, "16.3 GB; this machine has 7.8 GB"},
      {memory_bound::machine, 150 * mb, 100 * mb, "150 MB; this machine has 100 MB"},
      {memory_bound::address_space, 640 * mb, 412.3 * mb,
       "640 MB; the process's address-space limit leaves 412 MB"},
      {memory_bound::data_size, 1.5 * gb, 800 * mb,
       "1.5 GB; the process's data-size limit leaves 800 MB"},
      {memory_bound::control_group, 2.4 * gb, 1.3 * gb,
       "2.4 GB; its control group's memory limit leaves 1.3 GB"},
      {memory_bound::control_group, 64 * mb, 0,
       "64 MB; its control group's memory limit leaves 0 MB"},
      // Close sizes take the decimals that tell them apart.
      {memory_bound::machine, 2.04 * gb, 2.01 * gb, "2.04 GB; this machine has 2.01 GB"},
      {memory_bound::machine, 100.4 * mb, 100.2 * mb, "100.4 MB; this machine has 100.2 MB"},
      // What rounds to a GB is said in GB.
      {memory_bound::address_space, 1023.7 * mb, 1000 * mb,
       "1.0 GB; the process's address-space limit leaves 1000 MB"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.says);
    const memory_refusal refusal("Memory allocation error\n", 16777216, r.need,
                                 memory_room{r.left, r.bound});
    EXPECT_EQ(stdout_of([&] { kasay_refused("DEFINE", refusal); }),
              "DEFINE error:  grid of 16777216 points too large for memory\n  It needs about " +
                  std::string(r.says) + "\n");
  }
}
