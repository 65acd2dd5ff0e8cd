// Message levels and the capture chain that hands a command's output to a
// running script.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cmd/dispatch.h"
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
