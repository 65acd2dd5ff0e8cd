// The README's worked examples, read from README.md itself so that the two
// cannot drift apart: each block of "ka-> " lines is one session, run in
// order in one directory that holds the sample data set as build/ does; a
// block after "Save this as `NAME`:" is written to NAME first. Every
// command of every session must succeed (return code 0), and every image
// it prints must be there.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/live_session.h"
#include "support/vemra_run.h"

namespace {

using namespace vemra_test;

struct readme_block {
  std::string file;                // a file to write, or empty for a session
  std::vector<std::string> lines;  // the file's lines, or the session's commands
};

std::vector<readme_block> readme_blocks(const std::string& text) {
  std::vector<readme_block> blocks;
  std::istringstream in(text);
  std::string line, last_text;
  readme_block cur;
  bool in_block = false;
  auto finish = [&] {
    if (in_block && (!cur.file.empty() || !cur.lines.empty())) blocks.push_back(cur);
    cur = {};
    in_block = false;
  };
  while (std::getline(in, line)) {
    if (line.rfind("    ", 0) == 0) {
      const std::string body = line.substr(4);
      if (!in_block) {
        in_block = true;
        const std::string mark = "Save this as `";
        const size_t at = last_text.rfind(mark);
        if (at != std::string::npos && last_text.size() > 2 &&
            last_text.compare(last_text.size() - 2, 2, "`:") == 0)
          cur.file = last_text.substr(at + mark.size(), last_text.size() - 2 - at - mark.size());
      }
      if (!cur.file.empty())
        cur.lines.push_back(body);
      else if (body.rfind("ka-> ", 0) == 0)
        cur.lines.push_back(body.substr(5));
      continue;
    }
    finish();
    if (!line.empty()) last_text = line;
  }
  finish();
  return blocks;
}

// One session as a script that reports each command that fails.
std::string as_script(const std::vector<std::string>& commands) {
  std::string s;
  for (const std::string& c : commands) {
    if (c == "quit") continue;
    s += "'" + c + "'\nif (rc != 0)\n  say 'README command failed: " + c + "'\nendif\n";
  }
  return s;
}

TEST(ReadmeExamples, EveryCommandOfEverySessionSucceeds) {
  const std::vector<readme_block> blocks =
      readme_blocks(read_file(std::string(VEMRA_SOURCE_DIR) + "/README.md"));
  TempDir dir;
  std::filesystem::create_directory_symlink(std::string(VEMRA_DATA_DIR) + "/../sample",
                                            dir.file("sample"));
  int sessions = 0, files = 0;
  for (const readme_block& b : blocks) {
    if (!b.file.empty()) {
      std::string text;
      for (const std::string& l : b.lines) text += l + "\n";
      write_file(dir.file(b.file), text);
      ++files;
      continue;
    }
    ++sessions;
    for (const std::string& c : b.lines)
      ASSERT_EQ(c.find('\''), std::string::npos) << "a quote in a README command: " << c;
    const std::string script = "readme" + std::to_string(sessions) + ".gs";
    write_file(dir.file(script), as_script(b.lines));
    RunResult r = run_batch("run " + script + "\nquit\n", dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(contains(r.out, "README command failed")) << "session " << sessions << ":\n"
                                                           << r.out << r.err;
    for (const std::string& c : b.lines)
      if (c.rfind("printim ", 0) == 0) {
        std::istringstream words(c);
        std::string cmd, image;
        words >> cmd >> image;
        EXPECT_GT(std::filesystem::file_size(dir.file(image)), 0u) << c;
      }
  }
  // The README's sessions and files as they stand today: one that is no
  // longer found is a README the test cannot see.
  EXPECT_GE(sessions, 5);
  EXPECT_GE(files, 1);
}

}  // namespace
