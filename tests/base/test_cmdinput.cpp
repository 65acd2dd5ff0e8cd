// The plain line reader: what it delivers and that it never reads beyond the
// line it returns (the line editor and scripts read the same input).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

#include "base/cmdinput.h"
#include "support/stdout_capture.h"
#include "support/stdin_feed.h"

namespace {

using vemra_test::StdinFeed;

TEST(CommandInput, PlainReaderKeepsNewlineAndDropsLeadingSpaces) {
  StdinFeed in("   q dims\n\n\tx  y\nnext line\nrest");
  StdoutCapture out;
  std::string line;
  EXPECT_EQ(nxtcmd(line, "ka>"), 6);
  EXPECT_EQ(line, "q dims\n");
  EXPECT_EQ(nxtcmd(line, "ka>"), 0);
  EXPECT_EQ(line, "\n");
  EXPECT_EQ(nxtcmd(line, "ka>"), 5);  // a tab is kept
  EXPECT_EQ(line, "\tx  y\n");
  EXPECT_EQ(in.rest(), "next line\nrest");
  EXPECT_EQ(out.text(), "ka> ka> ka> ");
}

TEST(CommandInput, RawLinesForScripts) {
  std::string big(100000, 'b');
  StdinFeed in("first\n" + big + "\n" + big + "b\nlast");
  std::string line;
  EXPECT_EQ(karawln(line, big.size()), 1);
  EXPECT_EQ(line, "first");
  EXPECT_EQ(karawln(line, big.size()), 1);
  EXPECT_EQ(line, big);
  EXPECT_EQ(karawln(line, big.size()), -2);  // one over: dropped whole
  EXPECT_EQ(line, "");
  EXPECT_EQ(karawln(line, big.size()), 1);
  EXPECT_EQ(line, "last");
  EXPECT_EQ(karawln(line, big.size()), 0);
}

// A line past the limit is refused whole, whichever reader takes it, and the
// next line is read as it stands: nothing of the long line leaks into it.
TEST(CommandInput, OverlongLinesAreRefusedWhole) {
  const std::string fits = "d " + std::string(kCommandLineMax - 2, 'x');
  const std::string over = fits + "x";
  StdinFeed in(fits + "\n" + over + "\nq dims\n" + over + "\n  q dims\n");
  StdoutCapture out;
  std::string line;
  EXPECT_EQ(nxtcmd(line, "ka>"), 4096);
  EXPECT_EQ(line, fits + "\n");
  EXPECT_EQ(nxtcmd(line, "ka>"), 0);
  EXPECT_EQ(line, "\n");
  EXPECT_EQ(nxtcmd(line, "ka>"), 6);
  EXPECT_EQ(line, "q dims\n");
  // Standard input here is no terminal: the editing reader echoes the line
  // after its prompt, leading blanks and all.
  EXPECT_EQ(nxrdln(line, "ka-> "), 1);
  EXPECT_EQ(line, "");
  EXPECT_EQ(nxrdln(line, "ka-> "), 7);
  EXPECT_EQ(line, "q dims");
  EXPECT_EQ(nxrdln(line, "ka-> "), -1);
  const std::string refused = "Command line longer than 4096 characters: ignored\n";
  EXPECT_EQ(out.text(),
            "ka> ka> " + refused + "ka> ka-> " + over + "\n" + refused + "ka->   q dims\nka-> ");
}

// Standard input as a pipe fed by a thread: lines are read in pieces, yet
// nothing after the newline of the line returned is taken from the pipe.
TEST(CommandInput, PipedInputIsReadUpToTheNewlineOnly) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string huge(3 * 1000 * 1000 + 7, 'x');  // many pipe buffers long
  const std::string text =
      "  first\n" + huge + "\nq dims\n" + std::string(5000, 'p') + "\nd a\nafter the lines read";
  std::thread writer([&] {
    size_t at = 0;
    while (at < text.size()) {
      ssize_t n = write(fds[1], text.data() + at, std::min<size_t>(text.size() - at, 70000));
      if (n <= 0) break;
      at += size_t(n);
    }
    close(fds[1]);
  });
  const int saved = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  std::string line, rest;
  {
    StdoutCapture out;
    EXPECT_EQ(nxtcmd(line, "ka>"), 5);
    EXPECT_EQ(line, "first\n");
    EXPECT_EQ(nxtcmd(line, "ka>"), 0);  // refused whole
    EXPECT_EQ(nxtcmd(line, "ka>"), 6);
    EXPECT_EQ(line, "q dims\n");
    EXPECT_EQ(karawln(line, 5000), 1);
    EXPECT_EQ(line, std::string(5000, 'p'));
    EXPECT_EQ(karawln(line, 100), 1);
    EXPECT_EQ(line, "d a");
    // What is left is still in the pipe, for any other reader.
    char buf[256];
    ssize_t n;
    while ((n = read(0, buf, sizeof buf)) > 0) rest.append(buf, size_t(n));
    EXPECT_EQ(out.text(), "ka> ka> Command line longer than 4096 characters: ignored\nka> ");
  }
  writer.join();
  dup2(saved, 0);
  close(saved);
  EXPECT_EQ(rest, "after the lines read");
}

}  // namespace
