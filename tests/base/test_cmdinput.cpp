// The plain line reader: what it delivers and that it never reads beyond the
// line it returns (the line editor and scripts read the same input).
#include <gtest/gtest.h>

#include <string>

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
  EXPECT_EQ(out.text(), "ka> ka> " + refused + "ka> ka-> " + over + "\n" + refused +
                            "ka->   q dims\nka-> ");
}

}  // namespace
