// The dispatcher's own commands and the session defaults they restore,
// driven through command lines as a script would run them.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "cmd/dispatch.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "support/stdout_capture.h"
#include "support/vemra_run.h"

namespace {

class Dispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    StdoutCapture quiet;
    gxstrt(11, 8.5f, true);
    gcmn->page_width = 11;
    gcmn->page_height = 8.5f;
    kainit();
  }
  void SetUp() override {
    nesting().savpcm = gcmn;
    kasetmsgflg(0);
  }
  // Runs one line and returns its code and everything it printed.
  std::string run(const std::string& line, int& rc) {
    StdoutCapture quiet;
    auto out = kagsdo(line, rc);
    return out ? *out : std::string();
  }
  std::string run(const std::string& line) {
    int rc;
    return run(line, rc);
  }
};

// Running out of memory anywhere in a command ends that command with one
// message; the session goes on.
TEST_F(Dispatch, RunningOutOfMemoryFailsOnlyTheCommand) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer ends the process at a failed allocation";
#else
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // A 256 MB line; the limit leaves room for 64 MB more, so the
    // dispatcher's working copies of it cannot be made.
    std::string line = "q " + std::string(size_t{256} << 20, 'x');
    long pages = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f || std::fscanf(f, "%ld", &pages) != 1) _exit(2);
    std::fclose(f);
    rlim_t room =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64 << 20);
    rlimit lim{room, room};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(2);
    int rc = 0, rc2 = 1;
    std::string out = run(line, rc);
    std::string out2 = run("q config", rc2);
    _exit(out == "Memory allocation error\n" && rc == 1 && rc2 == 0 &&
                  out2.find("Config: v") != std::string::npos
              ? 0
              : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

// One line each: what it prints and its return code. Only whole words are
// commands; a define needs an open file and a name of at most 16 characters.
TEST_F(Dispatch, LinesTheirOutputAndCode) {
  struct {
    const char *line, *out;
    int rc;
  } cases[] = {
      {"   QUIT\n", "", -1},
      {"", "", 0},
      {"STACK and more", "", 0},
      // A command word must be the whole first word, in any case.
      {"closed 1", "Unknown command: closed\n", 1},
      {"\tDisplay x", "DISPLAY error:  no file open yet\n", 1},
      {"c", "", 0},
      {"cl", "Unknown command: cl\n", 1},
      {"abc = 2", "DEFINE error:  no file open yet\n", 1},
      {"a1b2c3d4e5f6g7h8=x", "DEFINE error:  no file open yet\n", 1},
      // Seventeen characters: not a define, so the word is taken as a script.
      {"abcdefghijklmnopq = 2", "Unknown command: abcdefghijklmnopq\n", 1},
      {"clear bogus", "Invalid option on clear command\n", 1},
      {"clear button", "Invalid or missing widget number on clear command\n", 1},
      {"clear dropmenu 3", "", 0},
      {"close one", "Close Error: Invalid file number\n", 1},
      {"screen", "Screen Error: Missing keyword\n", 1},
      {"screen keep 1", "Screen Error: Unknown keyword\n", 1},
      {"screen free 2x", "", 0},  // the number ends at the x
      {"disable nothing", "DISABLE error: Invalid keyword\n", 1},
      {"printim", "PRINTIM error:  missing output file name\n", 1},
      {"enable", "ENABLE error: Missing operand\n", 1},
      {"ENABLE PRINT", "ENABLE error: Missing file name \n", 1},
      {"q abcdefghijklmnopqrstuvwxyz", "Invalid QUERY argument: abcdefghijklmnopqrs \n", 1},
      // Values before a bad word are stored: the command did its work.
      {"set line 3 x",
       "SET LINE Error: Invalid linestyle value\n"
       "SET LINE values:  color = 3  style = 1  thickness = 3\n",
       0},
  };
  for (const auto& c : cases) {
    int rc = 9;
    EXPECT_EQ(run(c.line, rc), c.out) << c.line;
    EXPECT_EQ(rc, c.rc) << c.line;
  }
}

TEST_F(Dispatch, ClearRestoresPlotOptions) {
  gcmn->cint = 5;
  gcmn->cmin = 1;
  gcmn->cmax = 2;
  gcmn->clab_format = "%g";
  gcmn->dbuff = 1;
  gcmn->last_plot_code = plot_code::vector;
  gcmn->shade_count = 4;
  run("clear");
  EXPECT_EQ(gcmn->cint, 0);
  // Unset again: no bound below or above.
  EXPECT_EQ(gcmn->cmin, -std::numeric_limits<float>::infinity());
  EXPECT_EQ(gcmn->cmax, std::numeric_limits<float>::infinity());
  EXPECT_TRUE(gcmn->clab_format.empty());
  EXPECT_EQ(gcmn->dbuff, 0);
  EXPECT_EQ(gcmn->last_plot_code, plot_code::clear);
  EXPECT_EQ(gcmn->shade_count, 0);

  // "norset" ends the frame but keeps the options.
  gcmn->cint = 5;
  gcmn->frame_pass = 2;
  gcmn->dbuff = 1;
  run("clear norset");
  EXPECT_EQ(gcmn->cint, 5);
  EXPECT_EQ(gcmn->frame_pass, 0);
  EXPECT_EQ(gcmn->dbuff, 1);
  run("swap");
  EXPECT_EQ(gcmn->cint, 0);
  gcmn->dbuff = 0;
}

// The stored output codes are the documented numbers: a word sets only its
// own fields, and every word ends a stat, print or writegds output.
TEST_F(Dispatch, OutputWordsStoreTheirCodes) {
  run("reset");
  run("set gxout line");  // the time-series mode outlives a reset
  struct {
    const char* word;
    int general, one_d, one_d_vector, two_d, two_d_vector, station, sub;
  } steps[] = {
      // Start: plot, line, none, contour, vector, value, plain.
      {"stat", 1, 1, 0, 1, 4, 1, 0},     {"barb", 0, 1, 2, 1, 9, 2, 0},
      {"print", 2, 1, 2, 1, 9, 2, 0},    {"tserbarb", 0, 1, 2, 1, 9, 2, 2},
      {"linefill", 0, 4, 2, 1, 9, 2, 2}, {"writegds", 3, 4, 2, 1, 9, 2, 2},
  };
  for (const auto& s : steps) {
    int rc = 9;
    run(std::string("set gxout ") + s.word, rc);
    EXPECT_EQ(rc, 0) << s.word;
    const int got[] = {gcmn->gxout_general, gcmn->gxout_1d,        gcmn->gxout_1d_vector,
                       gcmn->gxout_2d,      gcmn->gxout_2d_vector, gcmn->gxout_station,
                       gcmn->gxout_sub};
    const int want[] = {s.general,      s.one_d,   s.one_d_vector, s.two_d,
                        s.two_d_vector, s.station, s.sub};
    for (int i = 0; i < 7; i++) EXPECT_EQ(got[i], want[i]) << s.word << " field " << i;
  }
  run("reset");
}

TEST_F(Dispatch, ResetKeepsFilesAndStartupChoices) {
  gcmn->file_serial = 17;
  gcmn->fwrite_byte_order = 0;
  gcmn->fwrite_name = "out.dat";
  gcmn->display_grey = 1;
  gcmn->dim_min[0] = 30;
  gcmn->gxout_2d = output_fgrid;
  gcmn->mproj = map_projection::robinson;
  gcmn->mpdset[0] = "mres";
  gcmn->map_colour[7] = 4;
  gcmn->lats_convention = 4;
  gcmn->collection_count[3] = 2;
  gcmn->page_width = 5;  // a virtual page
  mfcmn.warn_level = 0;
  int rc = 1;
  EXPECT_EQ(run("reset", rc), "Most Vemra attributes have been reset\n");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(gcmn->file_serial, 17);
  EXPECT_EQ(gcmn->fwrite_byte_order, 0);
  EXPECT_EQ(gcmn->fwrite_name, "out.dat");
  EXPECT_EQ(gcmn->display_grey, 1);
  EXPECT_FLOAT_EQ(gcmn->dim_min[0], 30);
  EXPECT_EQ(gcmn->gxout_2d, 1);
  EXPECT_EQ(gcmn->mproj, map_projection::latlon);
  EXPECT_EQ(gcmn->mpdset[0], "lowres");
  EXPECT_EQ(gcmn->map_colour[0], -1);
  EXPECT_EQ(gcmn->map_colour[7], -9);
  EXPECT_EQ(gcmn->lats_convention, 3);
  EXPECT_EQ(gcmn->collection_count[3], 0);
  EXPECT_FLOAT_EQ(gcmn->page_width, 11);
  EXPECT_FLOAT_EQ(gcmn->plot_x_high, 11);
  EXPECT_EQ(mfcmn.warn_level, 2);

  EXPECT_EQ(run("reinit", rc),
            "All files closed; all defined objects released\n"
            "All Vemra attributes have been reinitialized\n");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(gcmn->display_grey, 0);
  EXPECT_EQ(gcmn->fwrite_byte_order, 1);
  EXPECT_TRUE(gcmn->fwrite_name.empty());
  EXPECT_EQ(gcmn->file_serial, 17);
  EXPECT_EQ(gcmn->file_count, 0);
}

// A refused option is reported and skipped: the image is still tried (here
// in a directory that does not exist, so the open fails after the refusals).
TEST_F(Dispatch, PrintimOptionsAreChecked) {
  int rc = 0;
  std::string out = run("printim /nonexistent-dir/pic.png x abc y 30 bogus white", rc);
  EXPECT_EQ(out,
            "PRINTIM error:  Invalid x option; ignored\nPRINTIM error:  Invalid option; ignored\n"
            "PRINTIM error:  open error\n");
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(run("printim /nonexistent-dir/pic.png y"),
            "PRINTIM error:  Invalid y option; ignored\nPRINTIM error:  open error\n");
}

// The next "set fwrite" starts from the defaults (the flush on closing is
// checked end to end).
TEST_F(Dispatch, DisableFwriteForgetsTheNameAndByteOrder) {
  gcmn->fwrite_name = "out.dat";
  gcmn->fwrite_byte_order = 0;
  EXPECT_EQ(run("disable fwrite"), "");
  EXPECT_TRUE(gcmn->fwrite_name.empty());
  EXPECT_EQ(gcmn->fwrite_byte_order, 1);
}

// Once the display list has no room left for a frame, the command that
// filled it fails, and so does every later one that draws into that frame
// (nothing of it is kept to print), and a picture of it (the old file
// stays); commands that draw nothing, and the next frame, go on as before.
TEST_F(Dispatch, DrawingIntoAFrameNoLongerRecordedFails) {
  vemra_test::TempDir dir;
  const std::string cut = dir.file("cut.png"), whole = dir.file("whole.png");
  vemra_test::write_file(cut, "old");
  run("c");
  gxhlimits(100, 2);
  int rc = 0, lines = 0;
  while (rc == 0 && lines < 200) {
    run("draw line 1 1 2 2", rc);
    lines++;
  }
  ASSERT_EQ(rc, 1) << "the list never filled";
  EXPECT_GT(lines, 1);
  EXPECT_EQ(gxhrecording(), 0);
  const struct {
    std::string line;
    int rc;
  } after[] = {
      {"draw line 1 1 2 2", 1},
      {"draw mark 3 1 1 0.2", 1},
      {"draw recf 1 1 2 2", 1},
      {"q config", 0},
      {"set line 2", 0},
      {"printim " + cut, 1},
      {"c", 0},
      {"draw line 1 1 2 2", 0},
      {"draw mark 3 1 1 0.2", 0},
      {"printim " + whole, 0},
  };
  for (const auto& a : after) {
    int code = -1;
    const std::string out = run(a.line, code);
    EXPECT_EQ(code, a.rc) << a.line << ": " << out;
  }
  EXPECT_EQ(vemra_test::read_file(cut), "old");
  EXPECT_EQ(vemra_test::read_file(whole).substr(1, 3), "PNG");
  gxhlimits(0, 0);
  run("c");
}

float twice(float* s, float v) { return s[0] * v; }

TEST_F(Dispatch, LastPlotKeepsItsOwnScalingCopies) {
  std::vector<float> source = {2.0f, 5.0f, -999.9f};
  kasetlp(gcmn, 0, twice, source.data(), source.size());
  kasetlp(gcmn, 3, nullptr, nullptr, 0);
  source.assign(3, 0.0f);  // the data set that owned them is gone
  source.clear();
  source.shrink_to_fit();
  auto& lp = gcmn->last_plot_scaling;
  ASSERT_NE(lp.conv[0], nullptr);
  ASSERT_NE(lp.array(0), nullptr);
  EXPECT_FLOAT_EQ(lp.conv[0](lp.array(0), 3.0f), 6.0f);
  EXPECT_EQ(lp.array(3), nullptr);
  run("clear");
  EXPECT_EQ(lp.conv[0], nullptr);
  EXPECT_EQ(gcmn->last_plot_idim, -1);
}

}  // namespace
