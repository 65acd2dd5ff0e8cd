// Files the program reads: a directory, a pipe or a device named where a file
// is expected is refused at once with a message, never waited on or read
// without end; and two sessions calling the same user function take turns.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dataset_files.h"
#include "e2e/sdf_files.h"
#include "support/live_session.h"
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

// Special files named where a file is read: each command answers at once
// with its own message and the session goes on (each run is killed after
// 20 s, and then fails on its status, instead of hanging).
TEST(SpecialInputFiles, DirectoriesPipesAndDevicesAreRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  // xdf descriptors naming a pipe and a directory as their netCDF file.
  write_file(dir.file("p.ctl"), "dset ^fifo\nxdef lon\nydef lat\n");
  write_file(dir.file("d.ctl"), "dset ^sub\nxdef lon\nydef lat\n");
  struct refusal {
    std::string cmd, want;
  };
  const std::vector<refusal> cases = {
      {"sdfopen fifo", "fifo is not a regular file\n"},
      {"sdfopen sub", "sub is not a regular file\n"},
      {"sdfopen /dev/zero", "/dev/zero is not a regular file\n"},
      {"xdfopen /dev/zero",
       "XDFOpen Error:  Can't open description file\n"
       "  /dev/zero is not a regular file\n"},
      {"xdfopen fifo",
       "XDFOpen Error:  Can't open description file\n  fifo is not a regular file\n"},
      {"xdfopen sub", "XDFOpen Error:  Can't open description file\n  sub is not a regular file\n"},
      {"xdfopen p.ctl", "fifo is not a regular file\n"},
      {"xdfopen d.ctl", "sub is not a regular file\n"},
      {"set lats parmtab /dev/zero", "LATS PARMTAB ID = 0\n"},
      {"set lats parmtab fifo", "LATS PARMTAB ID = 0\n"},
      {"set lats parmtab sub", "LATS PARMTAB ID = 0\n"},
      {"exec fifo",
       "EXEC error:  Can't open file\n  File name is: fifo\n  fifo is not a regular file\n"},
      {"exec sub", "  sub is not a regular file\n"},
      {"run fifo", "Error opening script file: fifo\n"},
      {"run /dev/zero", "Error opening script file: /dev/zero\n"},
      {"open fifo", "Open Error:  Can't open description file\n  fifo is not a regular file\n"},
  };
  std::string input;
  for (const refusal& c : cases) input += c.cmd + "\n";
  RunResult r = bounded_batch(input + "q config\n", dir);
  ASSERT_EQ(r.status, 0) << r.out;
  for (const refusal& c : cases)
    EXPECT_TRUE(contains(answer(r.out, c.cmd), c.want)) << c.cmd << "\n" << r.out;
  EXPECT_TRUE(contains(r.out, "Config: v"));
  // The writer's errors go to the error stream.
  for (const char* name : {"/dev/zero", "fifo", "sub"})
    EXPECT_TRUE(contains(r.err, std::string("Cannot open parameter file ") + name + "\n" + name +
                                    " is not a regular file\n"))
        << name << "\n"
        << r.err;
}

// The program's own data read by name: a stroke font and map outlines in
// the data directory, a map data set of "set mpdset" and the units table
// the netCDF reader loads. A pipe or device there is refused at once with
// the name, and the session goes on (each run ends within its alarm).
TEST(SpecialInputFiles, FontsMapsAndTheUnitsTableAreRefusedAtOnce) {
  TempDir dir, data;
  ASSERT_EQ(mkfifo(data.file("font0.dat").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(data.file("lowres").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.file("mymap").c_str(), 0600), 0);
  const std::vector<std::string> env = {"KADDIR=" + data.path()};
  dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  RunResult r = bounded_batch(
      "draw string 1 1 hello\nopen g.ctl\ndraw map\nset mpdset mymap /dev/zero\ndraw map\nq "
      "config\n",
      dir, env);
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string font = data.file("font0.dat"), map = data.file("lowres");
  // Measured, then drawn: each attempt reports the font.
  const std::string font_error =
      "Error opening stroke character data set \n  Data set names = " + font + " ; font0.dat\n  " +
      font + " is not a regular file\n";
  EXPECT_EQ(answer(r.out, "draw string 1 1 hello"), font_error + font_error) << r.out;
  EXPECT_EQ(answer(r.out, "draw map"),
            "Open Error on Map Data Set: " + map + "\n  " + map + " is not a regular file\n")
      << r.out;
  size_t at = r.out.find("ka-> set mpdset");
  EXPECT_EQ(vemra_test::next_answer(r.out, "draw map", &at),
            "Open Error on Map Data Set: " + data.file("mymap") +
                "\n  mymap is not a regular file\n" +
                "Open Error on Map Data Set: /dev/zero\n  /dev/zero is not a regular file\n")
      << r.out;
  EXPECT_TRUE(contains(r.out, "Config: v"));

  // A data directory of "." names the working directory's font: tried once.
  ASSERT_EQ(mkfifo(dir.file("font0.dat").c_str(), 0600), 0);
  r = bounded_batch("draw string 1 1 hello\n", dir, {"KADDIR=."});
  const std::string here =
      "Error opening stroke character data set \n  Data set names = font0.dat ; font0.dat\n"
      "  font0.dat is not a regular file\n";
  EXPECT_EQ(answer(r.out, "draw string 1 1 hello"), here + here) << r.out;

  // The units table named by the environment, loaded at the first sdfopen.
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("a.nc") + " " + sdffiles::cdl("latlon")));
  ASSERT_EQ(mkfifo(dir.file("units.xml").c_str(), 0600), 0);
  r = bounded_batch("sdfopen a.nc\nq config\n", dir,
                    {"UDUNITS2_XML_PATH=" + dir.file("units.xml")});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(contains(answer(r.out, "sdfopen a.nc"),
                       dir.file("units.xml") + " is not a regular file\n"
                                               "UDUNITS package initialization failure.\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Config: v"));
}

// The user-function table and the writer's parameter table come from the
// environment; a special file there is refused as well.
TEST(SpecialInputFiles, TablesNamedByTheEnvironment) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("sub").c_str(), 0700), 0);
  for (std::string name : {std::string("/dev/zero"), dir.file("fifo"), dir.file("sub")}) {
    SCOPED_TRACE(name);
    RunResult r = bounded_batch("q udft\n", dir, {"KAUDFT=" + name});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "Error opening user function definition table\n  File name is: " +
                                    name + "\n  " + name + " is not a regular file\n"))
        << r.out;
    r = bounded_batch("set lats frequency hourly\nset lats deltat 6\nset lats create out\n", dir,
                      {"LATS_PARMS=" + name});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(answer(r.out, "set lats create out"), "LATS FILE ID = 0\n") << r.out;
    EXPECT_TRUE(contains(
        r.err, "Cannot open parameter file " + name + "\n" + name + " is not a regular file\n"))
        << r.err;
  }
}

// A "%" in the directory of a templated descriptor is part of the name, not
// a time code; the template's own codes are still expanded.
TEST(DescriptorPaths, PercentInTheDirectoryIsNoTemplateCode) {
  TempDir dir;
  const std::string sub = dir.file("pct%y4dir");
  ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
  write_file(sub + "/tmpl.ctl",
             "dset ^tmpl_%y4.dat\noptions template\nundef -9e33\nxdef 2 linear 0 10\n"
             "ydef 1 linear 0 10\nzdef 1 levels 1000\ntdef 2 linear 00z1jan1990 1yr\n"
             "vars 1\nv 0 99 value\nendvars\n");
  auto floats = [](float a, float b) {
    std::string s(8, '\0');
    std::memcpy(s.data(), &a, 4);
    std::memcpy(s.data() + 4, &b, 4);
    return s;
  };
  write_file(sub + "/tmpl_1990.dat", floats(1.5f, 2.5f));
  write_file(sub + "/tmpl_1991.dat", floats(7.25f, 8.25f));
  RunResult r =
      bounded_batch("open pct%y4dir/tmpl.ctl\nset x 2\nd v\nset t 2\nset x 1\nd v*1\nquit\n", dir);
  EXPECT_TRUE(contains(r.out, "Data file pct%y4dir/tmpl_%y4.dat is open as file 1\n")) << r.out;
  EXPECT_EQ(answer(r.out, "d v"), "Result value = 2.5 \n") << r.out;
  EXPECT_EQ(answer(r.out, "d v*1"), "Result value = 7.25 \n") << r.out;
}

// Two sessions call the same function (its transfer and result files are
// fixed by the table) 20 times each with their own argument; each must get
// the double of its own argument every time.
TEST(UserFunctionFiles, ConcurrentSessionsTakeTurnsOnTheTransferFiles) {
  TempDir shared, a, b;
  const std::string t = shared.file("t.bin"), r = shared.file("r.bin");
  write_file(shared.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE + " " +
                                      t + " " + r + " direct slow\n" + t + "\n" + r + "\n");
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

// Two functions with their own transfer files share one result file; two
// sessions call one each, several rounds at once: each call must read its
// own program's answer, never the other session's.
TEST(UserFunctionFiles, SessionsSharingOnlyTheResultFileTakeTurns) {
  TempDir shared, a, b;
  const std::string ta = shared.file("ta.bin"), tb = shared.file("tb.bin"),
                    r = shared.file("r.bin");
  auto entry = [&](const char* name, const std::string& t) {
    return std::string(name) + " 1 1 expr\ndirect\n" + VEMRA_UDF_DOUBLE + " " + t + " " + r +
           " direct slow\n" + t + "\n" + r + "\n";
  };
  write_file(shared.file("udft"), entry("uda", ta) + entry("udb", tb));
  const std::vector<std::string> env = {"KAUDFT=" + shared.file("udft")};
  const int kCalls = 30;
  auto session = [&](const TempDir& dir, const char* fn, int k, RunResult* out) {
    dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
    std::string input = "open g.ctl\nset x 2\nset y 2\n";
    for (int i = 0; i < kCalls; i++)
      input += std::string("d ") + fn + "(ps+" + std::to_string(k) + ")\n";
    *out = bounded_batch(input + "quit\n", dir, env, 60);
  };
  RunResult ra, rb;
  std::thread tha(session, std::cref(a), "uda", 3, &ra);
  std::thread thb(session, std::cref(b), "udb", 7, &rb);
  tha.join();
  thb.join();
  for (auto [res, want] : {std::pair{&ra, 6}, std::pair{&rb, 14}}) {
    ASSERT_EQ(res->status, 0) << res->out;
    const std::string line = "Result value = " + std::to_string(want) + " \n";
    EXPECT_EQ(vemra_test::count_of(res->out, line), size_t(kCalls)) << res->out;
    EXPECT_FALSE(contains(res->out, "Error from ud")) << res->out;
  }
  EXPECT_FALSE(vemra_test::file_exists(r));
}

// A transfer or result file name that is a symbolic link (planted in a
// shared directory, also by another user in a sticky one as /tmp is) is
// refused and the file it points at is left alone; a result file that is a
// pipe is refused at once, before the program runs.
TEST(UserFunctionFiles, LinksAndPipesAsTheFilesOfACallAreRefused) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  const std::string t = dir.file("t.bin"), r = dir.file("r.bin"), mine = dir.file("mine.txt");
  write_file(dir.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE + " " + t +
                                   " " + r + " direct\n" + t + "\n" + r + "\n");
  const std::vector<std::string> env = {"KAUDFT=" + dir.file("udft")};
  const std::string calls = "open g.ctl\nset x 2\nset y 2\nd udbl(ps+1)\nquit\n";
  // Links of the caller's own, then (where the test may give them away)
  // links of the user nobody in the directory made sticky.
  const bool root = geteuid() == 0;
  for (const bool others : {false, true}) {
    if (others && (!root || chmod(dir.path().c_str(), 01777) != 0)) continue;
    for (const std::string& link : {t, r}) {
      SCOPED_TRACE(link + (others ? " of another user" : ""));
      write_file(mine, "the caller's own file\n");
      ASSERT_EQ(symlink(mine.c_str(), link.c_str()), 0);
      if (others) {
        ASSERT_EQ(lchown(link.c_str(), 65534, 65534), 0);
      }
      RunResult res = bounded_batch(calls, dir, env);
      ASSERT_EQ(res.status, 0) << res.out;
      EXPECT_TRUE(contains(answer(res.out, "d udbl(ps+1)"),
                           "Error from udbl: Error opening transfer file\n  File name: " + link +
                               "\n  " + link + " is a symbolic link, not followed\n"))
          << res.out;
      // No file is left behind by a call that did not run its program.
      EXPECT_FALSE(vemra_test::file_exists(link == t ? r : t));
      EXPECT_EQ(vemra_test::read_file(mine), "the caller's own file\n");
      std::remove(link.c_str());
    }
  }
  ASSERT_EQ(mkfifo(r.c_str(), 0600), 0);
  RunResult res = bounded_batch(calls, dir, env);
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_TRUE(contains(answer(res.out, "d udbl(ps+1)"),
                       "Error from udbl: Error opening transfer file\n  File name: " + r + "\n  " +
                           r + " is not a regular file\n"))
      << res.out;
  std::remove(r.c_str());
  // With plain files the same call answers.
  res = bounded_batch(calls, dir, env);
  EXPECT_EQ(answer(res.out, "d udbl(ps+1)"), "Result value = 2 \n") << res.out;
}

// The table may name one file as both transfer and result file in two
// spellings; with the result name sorting first the call still writes its
// arguments to the file it holds and reads the program's answer back.
TEST(UserFunctionFiles, OneFileSpelledTwiceServesAsTransferAndResultFile) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  write_file(dir.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE +
                                   " x.bin ./x.bin direct\nx.bin\n./x.bin\n");
  const std::vector<std::string> env = {"KAUDFT=" + dir.file("udft")};
  RunResult res = bounded_batch("open g.ctl\nset x 2\nset y 2\nd udbl(ps+3)\nquit\n", dir, env);
  ASSERT_EQ(res.status, 0) << res.out;
  EXPECT_EQ(answer(res.out, "d udbl(ps+3)"), "Result value = 6 \n") << res.out;
}

// Four sessions call one function at once, each from its own directory and
// with its own table: two spell the transfer and result files so that the
// transfer name sorts first, two so that the result name does, all naming
// the same two files. Every session must finish (a run that waits for ever
// is ended after 30 s and fails on its status) with its own answers.
TEST(UserFunctionFiles, SpellingsOfTheSameFilesNeverDeadlock) {
  TempDir shared;
  const std::string abs_t = shared.file("a.bin"), abs_r = shared.file("b.bin");
  struct spelling {
    std::string transfer, result;
  };
  // "../" sorts before "/", so a relative result name comes first beside an
  // absolute transfer name, and last beside a relative one.
  const std::vector<spelling> spellings = {
      {"../a.bin", "../b.bin"}, {abs_t, "../b.bin"}, {abs_t, abs_r}, {abs_t, "./../b.bin"}};
  dsfiles::write_grid(shared, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  const int kCalls = 40;
  std::vector<RunResult> results(spellings.size());
  std::vector<std::thread> sessions;
  for (size_t k = 0; k < spellings.size(); k++) {
    const std::string dir = shared.file("s" + std::to_string(k));
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    const spelling& sp = spellings[k];
    write_file(dir + "/udft", std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE + " " +
                                  sp.transfer + " " + sp.result + " direct\n" + sp.transfer + "\n" +
                                  sp.result + "\n");
    std::string input = "open ../g.ctl\nset x 2\nset y 2\n";
    for (int i = 0; i < kCalls; i++) input += "d udbl(ps+" + std::to_string(k + 1) + ")\n";
    sessions.emplace_back([dir, input, &results, k] {
      results[k] = vemra_test::run_vemra({"-b", "-l"}, input + "quit\n", dir,
                                         {"KAUDFT=" + dir + "/udft"}, 30);
    });
  }
  for (std::thread& t : sessions) t.join();
  for (size_t k = 0; k < spellings.size(); k++) {
    SCOPED_TRACE(spellings[k].transfer + " and " + spellings[k].result);
    const RunResult& res = results[k];
    ASSERT_EQ(res.status, 0) << res.out;
    // The grid holds zeros, so udbl(ps+k) is 2k.
    const std::string line = "Result value = " + std::to_string(2 * (k + 1)) + " \n";
    EXPECT_EQ(vemra_test::count_of(res.out, line), size_t(kCalls)) << res.out;
  }
  EXPECT_FALSE(vemra_test::file_exists(abs_t));
  EXPECT_FALSE(vemra_test::file_exists(abs_r));
}

// A transfer or result file that is already there, belongs to another user
// and lies in a directory others may write was put there by someone else:
// the call refuses it, naming it, and neither writes nor reads it. The same
// file in a directory only its owner writes, and the caller's own file in a
// shared one, serve as usual.
TEST(UserFunctionFiles, AnotherUsersFileInASharedDirectoryIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: cannot give a file to another user";
  struct plant_case {
    const char* file;  // the file there before the call
    mode_t dir_mode;
    uid_t owner;
    bool refused;
  };
  const plant_case cases[] = {
      {"t.bin", 01777, 65534, true}, {"r.bin", 01777, 65534, true}, {"t.bin", 0775, 65534, true},
      {"r.bin", 0755, 65534, false}, {"t.bin", 01777, 0, false},    {"r.bin", 01777, 0, false},
  };
  for (const plant_case& pc : cases) {
    TempDir dir;
    SCOPED_TRACE(std::string(pc.file) + " of " + std::to_string(pc.owner) + " in a directory of " +
                 std::to_string(pc.dir_mode));
    dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
    const std::string t = dir.file("t.bin"), r = dir.file("r.bin"), plant = dir.file(pc.file);
    write_file(dir.file("udft"), std::string("udbl 1 1 expr\ndirect\n") + VEMRA_UDF_DOUBLE + " " +
                                     t + " " + r + " direct\n" + t + "\n" + r + "\n");
    const std::string planted = "planted by another user\n";
    write_file(plant, planted);
    ASSERT_EQ(chmod(plant.c_str(), 0666), 0);
    ASSERT_EQ(chown(plant.c_str(), pc.owner, pc.owner), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), pc.dir_mode), 0);
    RunResult res = bounded_batch("open g.ctl\nset x 2\nset y 2\nd udbl(ps+1)\nquit\n", dir,
                                  {"KAUDFT=" + dir.file("udft")});
    ASSERT_EQ(res.status, 0) << res.out;
    const std::string got = answer(res.out, "d udbl(ps+1)");
    if (pc.refused) {
      EXPECT_TRUE(contains(got, "Error from udbl: Error opening transfer file\n  File name: " +
                                    plant + "\n  " + plant +
                                    " belongs to another user in a directory others may write, "
                                    "not used\n"))
          << got;
      EXPECT_EQ(vemra_test::read_file(plant), planted);
      // The program never ran: the call's other file is not left behind.
      EXPECT_FALSE(vemra_test::file_exists(plant == t ? r : t));
    } else {
      EXPECT_EQ(got, "Result value = 2 \n");
      EXPECT_FALSE(vemra_test::file_exists(plant));
    }
  }
}

}  // namespace
