// Message levels and the capture chain that hands a command's output to a
// running script.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/dispatch.h"
#include "core/message.h"
#include "core/session.h"
#include "gx/gx.h"
#include "stdout_capture.h"

namespace {

class Capture : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    StdoutCapture quiet;
    gxstrt(11, 8.5f, 1);
  }
  void SetUp() override {
    savpcm = gcmn;
    kasetmsgflg(0);
  }
};

TEST_F(Capture, PlainMessagesGoToStandardOutputUnchanged) {
  StdoutCapture cap;
  kaprnt(0, "error text\n");
  kaprnt(2, std::string("result with %s and %n\n"));
  kaprnt(1, "no newline");
  EXPECT_EQ(cap.text(), "error text\nresult with %s and %n\nno newline");
}

TEST_F(Capture, FormattedMessagesOfAnyLength) {
  std::string long_word(3000, 'w');
  StdoutCapture cap;
  kaprntf(2, "File %i has been closed\n", 7);
  kaprntf(0, "<%s>\n", long_word.c_str());
  EXPECT_EQ(cap.text(), "File 7 has been closed\n<" + long_word + ">\n");
}

TEST_F(Capture, ResultsAreReturnedButNotPrinted) {
  int rc = -5;
  StdoutCapture cap;
  auto out = kagsdo("q config", rc);
  std::string printed = cap.text();
  EXPECT_EQ(rc, 0);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->rfind("Config: v", 0), 0u);
  EXPECT_NE(out->find(" 64-bit"), std::string::npos);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(kamsgflg(), 0);
}

TEST_F(Capture, ErrorsArePrintedAndReturned) {
  int rc = 0;
  StdoutCapture cap;
  auto out = kagsdo("close", rc);
  std::string printed = cap.text();
  EXPECT_EQ(rc, 1);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "Close Error: Missing file number\n");
  EXPECT_EQ(printed, "Close Error: Missing file number\n");
}

TEST_F(Capture, SilentCommandReturnsNothingButItsCode) {
  int rc = 7;
  auto out = kagsdo("stack", rc);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(rc, 0);
  out = kagsdo("quit", rc);
  EXPECT_FALSE(out.has_value());
  EXPECT_EQ(rc, -1);
}

TEST_F(Capture, MessagesJoinInOrder) {
  int rc = 0;
  StdoutCapture cap;
  auto out = kagsdo("close 1 2", rc);  // an error line
  ASSERT_TRUE(out.has_value());
  std::string first = *out;
  out = kagsdo("screen save x", rc);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, "Screen Error: Invalid screen number\n");
  EXPECT_EQ(first, "Close Error: Only last file may be closed\n");
  cap.text();
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
