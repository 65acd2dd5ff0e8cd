// Display list and hardcopy file: stored coordinates, frames, double
// buffering, buffer chaining and exhaustion, replay errors, and the exact
// bytes of the hardcopy file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gx/test_drawing_util.h"
#include "support/vemra_run.h"
#include "support/stdout_capture.h"

using gxtest::frame_words;
using gxtest::fresh_page;
using W = std::vector<int>;
using Bytes = std::vector<unsigned char>;

namespace {

Bytes file_bytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Big-endian bytes of the given words.
Bytes be(const W& words) {
  Bytes b;
  for (int w : words) {
    auto u = static_cast<uint16_t>(static_cast<int16_t>(w));
    b.push_back(static_cast<unsigned char>(u >> 8));
    b.push_back(static_cast<unsigned char>(u & 0xff));
  }
  return b;
}

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kHeader = {0xFF, 0xFF, 0x2A, 0xF8, 0x21, 0x34};

}  // namespace

TEST(MetafileWords, CoordinatesAreThousandthsLimitedAndNaNSafe) {
  fresh_page();
  hout2(MF_MOVE, -1, 40);
  hout2(MF_DRAW, 32.7604f, std::nanf(""));
  hout4(MF_RECT, 1.2344f, 1.2345f, 0.0004f, 0.0005f);
  hout1(MF_COLOUR, 70000);  // integers keep their low 16 bits
  EXPECT_EQ(frame_words(),
            (W{-10, 0, 32760, -11, 32760, 0, -6, 1234, 1235, 0, 1, -3, 70000 - 65536}));
  // The drawing layer records no point for a NaN: the pen lifts instead.
  gxfrme(frame_action::clear);
  gxmove(std::nanf(""), 2);
  EXPECT_TRUE(frame_words().empty());
}

TEST(MetafileFile, PrintedFramesSeparatorsAndRepeats) {
  fresh_page();
  vemra_test::TempDir dir;
  std::string name = dir.file("frames.gx");
  ASSERT_EQ(gxhbgn(name.c_str()), 0);
  gxcolr(2);
  gxmove(1, 1);
  gxdraw(2, 1);
  gxhprt();
  Bytes frame1 = be({-3, 2, -10, 1000, 1000, -11, 2000, 1000});
  gxhprt();  // the same frame twice: no separator between
  gxfrme(frame_action::clear);
  gxcolr(3);
  gxhprt();
  gxfrme(frame_action::clear);
  gxcolr(4);  // never printed
  EXPECT_EQ(stdout_of(gxhend), "Hardcopy output file is closed \n");
  EXPECT_EQ(file_bytes(name), cat({kHeader, frame1, frame1, be({-2, -3, 3, -2, -9})}));

  // Closing right after printing the current frame writes -2 then -9.
  fresh_page();
  ASSERT_EQ(gxhbgn(name.c_str()), 0);
  gxcolr(5);
  gxhprt();
  stdout_of(gxhend);
  EXPECT_EQ(file_bytes(name), cat({kHeader, be({-3, 5, -2, -9})}));
}

TEST(MetafileFile, WriteErrorClosesAndHoldsErrorStateUntilDisable) {
  fresh_page();
  EXPECT_EQ(stdout_of([] { EXPECT_EQ(gxhbgn("/dev/full"), 1); }),
            "I/O Error writing to print metafile.\n  No space left on device\n");
  EXPECT_EQ(
      stdout_of([] { EXPECT_EQ(gxhbgn("/dev/null"), 1); }),
      "Metafile error state is positive.\nDisable Print before attempting an Enable Print.\n");
  EXPECT_EQ(stdout_of([] { EXPECT_EQ(gxhprt(), 1); }),
            "Error status on print metafile is positive.\nCannot print current frame.\n");
  EXPECT_EQ(stdout_of(gxhend), "Resetting print metafile error status.\n");
  EXPECT_EQ(stdout_of(gxhend), "No hardcopy metafile open\n");
  EXPECT_EQ(stdout_of([] { EXPECT_EQ(gxhbgn("/dev/null"), 0); }), "");  // reset
  stdout_of(gxhend);
}

TEST(MetafileDouble, CompletedFrameIsShownAndPrinted) {
  fresh_page();
  vemra_test::TempDir dir;
  std::string name = dir.file("dbl.gx");
  ASSERT_EQ(gxhbgn(name.c_str()), 0);
  gxfrme(frame_action::double_buffer);
  gxcolr(3);  // frame A
  gxfrme(frame_action::double_buffer);
  gxcolr(4);  // frame B, being drawn
  EXPECT_EQ(frame_words(stored_frame::drawing), (W{-3, 4}));
  EXPECT_EQ(frame_words(stored_frame::completed), (W{-3, 3}));
  gxhprt();  // prints A
  gxfrme(frame_action::double_buffer);
  gxcolr(7);  // frame C in the first set again; B is complete
  EXPECT_EQ(frame_words(stored_frame::completed), (W{-3, 4}));
  gxhprt();
  gxfrme(frame_action::clear);  // double buffering ends
  EXPECT_TRUE(gxhspans(stored_frame::completed).empty());
  EXPECT_EQ(gxhdbmode(), 0);
  gxcolr(8);
  EXPECT_EQ(frame_words(stored_frame::drawing), (W{-3, 8}));
  stdout_of(gxhend);
  EXPECT_EQ(file_bytes(name), cat({kHeader, be({-3, 3, -2, -3, 4, -2, -9})}));
}

TEST(MetafileBuffers, FramesContinueIntoFurtherBuffersInOrder) {
  fresh_page();
  gxhlimits(100, 0);
  vemra_test::TempDir dir;
  std::string name = dir.file("long.gx");
  ASSERT_EQ(gxhbgn(name.c_str()), 0);
  W want;
  for (int i = 0; i < 200; i++) {
    gxmove(0.01f * i, 1);
    want.insert(want.end(), {-10, 10 * i, 1000});
  }
  EXPECT_GE(gxhspans(stored_frame::drawing).size(), 6u);
  EXPECT_EQ(frame_words(), want);
  gxhprt();
  stdout_of(gxhend);
  want.insert(want.end(), {-2, -9});
  EXPECT_EQ(file_bytes(name), cat({kHeader, be(want)}));
  gxhlimits(0, 0);
}

TEST(MetafileBuffers, ExhaustionStopsRecordingCleanlyUntilNextFrame) {
  fresh_page();
  gxhlimits(100, 2);
  const std::uint64_t stops = gxhstops();
  EXPECT_EQ(stdout_of([] {
              for (int i = 0; i < 500; i++) gxmove(1, 1);
            }),
            "Out of buffer space\n");
  EXPECT_EQ(gxhrecording(), 0);
  EXPECT_EQ(gxhstops(), stops + 1);  // once: the command that drew it fails
  W w = frame_words();
  EXPECT_LE(w.size(), 200u);
  EXPECT_EQ(w.size() % 3, 0u);  // only whole records kept
  EXPECT_EQ(stdout_of(gxhprt),
            "Error status on print metafile is positive.\nCannot print current frame.\n");

  gxfrme(frame_action::clear);
  EXPECT_EQ(gxhrecording(), 1);
  gxcolr(9);
  EXPECT_EQ(frame_words(), (W{-3, 9}));
  EXPECT_EQ(gxhstops(), stops + 1);
  gxhlimits(0, 0);
}
