// Finding script files (".gs") and function files (".gsf") in the current
// directory, the main script's directory, the function path and KASCRP.
#include <cstdlib>

#include "base/safefile.h"
#include "script/gsint.h"

namespace {

bool gsdelim(char c) { return c == ' ' || c == ',' || c == ';' || c == '\t'; }

// Opens a script for binary reading. A script is read by its size, so only
// a regular file holds one: a directory or device is passed over, and a pipe
// without a writer is never waited for.
FILE* try_open(const std::string& path) { return fopen_regular(path, "rb"); }

// The entries of a directory list, each ending with '/'.
std::vector<std::string> dir_entries(const char* list) {
  std::vector<std::string> out;
  if (!list) return out;
  const char* p = list;
  for (;;) {
    while (*p && gsdelim(*p)) p++;
    if (!*p) break;
    const char* s = p;
    while (*p && !gsdelim(*p)) p++;
    std::string e(s, p);
    if (e.back() != '/') e += '/';
    out.push_back(std::move(e));
  }
  return out;
}

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

FILE* gsonam(script_run* run, const std::string& file, std::string& path) {
  FILE* f = nullptr;
  bool add_gs = !ends_with(file, ".gs");
  std::string with_gs = file + ".gs";
  if ((f = try_open(file))) {
    path = file;
  } else if (add_gs && (f = try_open(with_gs))) {
    path = with_gs;
  } else if (!file.empty() && file[0] != '/') {
    for (const auto& e : dir_entries(getenv("KASCRP"))) {
      if ((f = try_open(e + file))) {
        path = e + file;
        break;
      }
      if (add_gs && (f = try_open(e + with_gs))) {
        path = e + with_gs;
        break;
      }
    }
  }
  if (!f) return nullptr;
  // A script in the root directory keeps "/" as its directory, so that its
  // function files are sought beside it and not in the current directory.
  size_t slash = path.rfind('/');
  run->maindir = slash != std::string::npos ? path.substr(0, slash + 1) : "";
  return f;
}

FILE* gsogsf(script_run* run, const std::string& name16, std::string& path) {
  std::string fname = gs_unpad(name16) + ".gsf";
  std::vector<std::string> tries;
  tries.push_back(run->maindir + fname);
  if (run->fpath_set) {
    // Entries are relative to the main script's directory unless absolute.
    for (const auto& e : dir_entries(run->fpath.c_str())) {
      tries.push_back((e[0] == '/' ? e : run->maindir + e) + fname);
    }
  }
  for (const auto& e : dir_entries(getenv("KASCRP"))) tries.push_back(e + fname);
  for (const auto& t : tries) {
    if (FILE* f = try_open(t)) {
      path = t;
      return f;
    }
  }
  return nullptr;
}
