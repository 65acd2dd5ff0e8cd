// User-defined functions: tables, the transfer file an external program
// receives and the grid it returns.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "expr/analysis_data.h"
#include "expr/udf.h"

using grtest::f;

namespace {

// 5 x 4 points at longitudes 0..4, latitudes 10..40.
struct UdfTest : AnalysisData {
  void SetUp() override {
    nx = 5;
    lat0 = 10, dlat = 10, ny = 4;
    names = {"u"};
    value = [](int, int x, int y, int, int) { return f(x, y); };
    write();
  }
  void TearDown() override {
    kafclr();
    unsetenv("KAUDFT");
    AnalysisData::TearDown();
  }
  // Five table lines of one function run by the test program.
  std::string entry(const char* head, const char* form, const char* mode = "") {
    const std::string t = dir.file("t.bin"), r = dir.file("r.bin");
    return std::string(head) + "\n" + form + "\n" + VEMRA_UDF_DOUBLE + " " + t + " " + r + " " +
           form + " " + mode + "\n" + t + "\n" + r + "\n";
  }
  // Reads the tables; what that printed.
  std::string load(const std::string& kaudft, const std::string& udft = "") {
    vemra_test::write_file(dir.file("k.tab"), kaudft);
    vemra_test::write_file(dir.file("udft"), udft);
    setenv("KAUDFT", dir.file("k.tab").c_str(), 1);
    StdoutCapture cap;
    kafdef(dir.file("udft"));
    return cap.text();
  }
  // True when the expression fails with messages that start with text.
  bool refused_with(const std::string& text, const char* message) {
    return eval(text.c_str()) == nullptr && out.rfind(message, 0) == 0;
  }
  bool exists(const char* name) { return access(dir.file(name).c_str(), F_OK) == 0; }
};

std::vector<float> floats(const std::string& bytes, size_t at, size_t n) {
  std::vector<float> v(n);
  std::memcpy(v.data(), bytes.data() + at, 4 * n);
  return v;
}

}  // namespace

TEST_F(UdfTest, ExternalProgramDoublesTheGridInBothForms) {
  for (const char* mode : {"", "levels"})
    for (const char* form : {"direct", "sequential"}) {
      SCOPED_TRACE(std::string(form) + " " + mode);
      load(entry("udbl 1 1 expr", form, mode));
      grid_field* g = eval("udbl(u)+1");
      ASSERT_NE(g, nullptr) << out;
      ASSERT_EQ(g->idim, 0);
      ASSERT_EQ(g->jdim, 1);
      ASSERT_EQ(g->isiz * g->jsiz, 20);
      for (int y = 1; y <= 4; y++)
        for (int x = 1; x <= 5; x++) EXPECT_EQ(g->values[(y - 1) * 5 + x - 1], 2 * f(x, y) + 1);
      EXPECT_FLOAT_EQ(g->i_to_world(g->i_world_vals, 3), 2.0f);
      EXPECT_FLOAT_EQ(g->j_to_world(g->j_world_vals, 4), 40.0f);
      EXPECT_FLOAT_EQ(g->j_to_grid(g->j_grid_vals, 25), 2.5f);
      EXPECT_FALSE(exists("t.bin"));
      EXPECT_FALSE(exists("r.bin"));
    }
}

TEST_F(UdfTest, TransferFileLayoutAndFailedStatusKeepsTheFiles) {
  load(entry("udbl 3 3 expr value char", "sequential", "fail"));
  EXPECT_TRUE(refused_with("udbl(u,2.5," + std::string(100, 'q') + ")",
                           "Operation Error:  Error from udbl function"))
      << out;
  ASSERT_TRUE(exists("r.bin"));
  const std::string b = vemra_test::read_file(dir.file("t.bin"));
  // Records: count, header, 20 values, 5 longitudes, 4 latitudes, value, text.
  const size_t sizes[] = {80, 80, 80, 20, 16, 4, 80};
  size_t at = 0, pos[7];
  for (int k = 0; k < 7; k++) {
    std::int32_t n = 0;
    std::memcpy(&n, b.data() + at, 4);
    EXPECT_EQ(size_t(n), sizes[k]) << "record " << k;
    pos[k] = at + 4;
    at += sizes[k] + 8;
  }
  ASSERT_EQ(b.size(), at);
  EXPECT_EQ(floats(b, pos[0], 1)[0], 3.0f);
  const std::vector<float> want = {-999, 0, 1, 5, 4, 1, 1, 0, 1, 10, 10};
  EXPECT_EQ(floats(b, pos[1], 11), want);
  EXPECT_EQ(floats(b, pos[2], 20)[7], f(3, 2));
  EXPECT_EQ(floats(b, pos[4], 4), (std::vector<float>{10, 20, 30, 40}));
  EXPECT_EQ(floats(b, pos[5], 1)[0], 2.5f);
  EXPECT_EQ(b.substr(pos[6], 80), std::string(80, 'q'));
}

TEST_F(UdfTest, TablesOrderNamesAndBrokenEntries) {
  std::string text = load(entry("longername 1 1 expr", "direct") + entry("sqrt 0 1 expr", "direct"),
                          "sqrt 1 1 expr\ndirect\ndatadir\nt\nr\nlast 1 1 expr\ndirect\nc\nt\n");
  EXPECT_EQ(text, "Read error on user defined function table:\n  File name is: " +
                      dir.file("udft") + "\n");
  ASSERT_NE(kaufnd("longerna"), nullptr);
  EXPECT_NE(kaufnd("sqrt")->command, "datadir");  // the KAUDFT entry wins
  // The user's sqrt replaces the built-in one.
  EXPECT_EQ(at("sqrt(u)", 0), 2 * f(1, 1));
  EXPECT_TRUE(refused_with("longerna", "Error from longerna: Too many or too few args\n")) << out;

  // An over-long command is refused whole, its rest never read as a line.
  text = load("good 0 0\ndirect\nc\nt\nr\nlong 0 0\ndirect\n" + std::string(300, 'x') + "\nt\nr\n");
  EXPECT_NE(text.find("Processing function name: long\n"), std::string::npos) << text;
  EXPECT_NE(kaufnd("good"), nullptr);
  EXPECT_EQ(kaufnd("long"), nullptr);
  // A head line too long still names its function.
  text = load("wide 0 0" + std::string(300, ' ') + "\ndirect\nc\nt\nr\n");
  EXPECT_NE(text.find("Processing function name: wide\n"), std::string::npos) << text;
  EXPECT_EQ(kaufnd("wide"), nullptr);
  text = load("many 9 9 expr expr expr expr expr expr expr expr expr\ndirect\nc\nt\nr\n");
  EXPECT_NE(text.find("Format error in user defined function table:\n"), std::string::npos);
  load("f 1 1 value\ndirect\nc\nt\nr\n");
  EXPECT_TRUE(
      refused_with("f(u)", "Error from f: Invalid Argument\n  Expecting arg 0 to be a constant\n"));
}

TEST_F(UdfTest, ResultsThatDoNotFitAreRefused) {
  load(entry("huge 1 1 expr", "direct", "huge"));
  EXPECT_TRUE(refused_with("huge(u)", "Error from huge: Error reading from transfer file\n"))
      << out;
  // A grid over z while the environment varies x and y.
  load("zres 0 0\ndirect\ncp " + dir.file("z.bin") + " " + dir.file("r.bin") + "\n" +
       dir.file("t.bin") + "\n" + dir.file("r.bin") + "\n");
  std::string z(80, '\0');
  const float h[5] = {-999, 2, -1, 3, 1};
  z += std::string(reinterpret_cast<const char*>(h), sizeof h) + std::string(60, '\0');
  z += std::string(12, '\0');
  vemra_test::write_file(dir.file("z.bin"), z);
  EXPECT_TRUE(
      refused_with("zres", "Error from zres: Invalid dimension environment in result grid\n"))
      << out;
}

// The program's undefined value and the levels it returns must be numbers,
// as in a data descriptor: a NaN undefined value would pass every missing
// point as data.
TEST_F(UdfTest, ResultsWithoutNumericUndefOrLevelsAreRefused) {
  load("cres 0 0\ndirect\ncp " + dir.file("c.bin") + " " + dir.file("r.bin") + "\n" +
       dir.file("t.bin") + "\n" + dir.file("r.bin") + "\n");
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // 5 x 4 points, x at explicit levels, y linear from 10 by 10; the second
  // point missing and the third not a number.
  auto write_result = [&](float undef, float level) {
    const float h[20] = {undef, 0, 1, 5, 4, 0, 1, 0, 0, 10, 10};
    std::vector<float> v(20, 7.0f);
    v[1] = undef;
    v[2] = nan;
    const float lev[5] = {0, 1, level, 3, 4};
    std::string r(80, '\0');
    r += std::string(reinterpret_cast<const char*>(h), sizeof h);
    r += std::string(reinterpret_cast<const char*>(v.data()), 4 * v.size());
    r += std::string(reinterpret_cast<const char*>(lev), sizeof lev);
    vemra_test::write_file(dir.file("c.bin"), r);
  };
  write_result(-999, 2);
  grid_field* g = eval("cres");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(g->values[0], 7.0f);
  EXPECT_EQ(g->values[1], -999.0f);
  EXPECT_EQ(g->values[2], -999.0f);
  EXPECT_FLOAT_EQ(g->i_to_world(g->i_world_vals, 3), 2.0f);
  for (float undef : {nan, inf, -inf}) {
    write_result(undef, 2);
    EXPECT_TRUE(refused_with("cres", "Error from cres: Invalid transfer file format\n"))
        << undef << "\n"
        << out;
  }
  for (float level : {nan, inf}) {
    write_result(-999, level);
    EXPECT_TRUE(refused_with("cres", "Error from cres: Invalid transfer file format\n"))
        << level << "\n"
        << out;
    // Refused files stay for the user to look at.
    EXPECT_TRUE(exists("r.bin"));
  }
}
