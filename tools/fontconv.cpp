// fontconv: turns one glyph file of the public stroke-font collection
// (".jhf": a 5-column glyph number, a 3-column pair count, the extents and
// the coordinate pairs, long glyphs possibly wrapped over several lines) into
// the program's stroke font file: one line per character 32..126, each the
// blank-padded 3-column count, the extents and the pairs.
//
//   fontconv INPUT.jhf OUTPUT.dat
//
// Exits non-zero, writing nothing, when the input is short or malformed.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kGlyphs = 95;  // characters 32..126

bool parse_count(const std::string& s, int* n) {
  if (s.size() != 3) return false;
  int v = 0;
  bool digit = false;
  for (char c : s) {
    if (c == ' ') {
      if (digit) return false;  // blanks only in front
      continue;
    }
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    digit = true;
  }
  if (!digit || v < 1) return false;
  *n = v;
  return true;
}

int fail(const char* in, int line, const char* why) {
  std::fprintf(stderr, "fontconv: %s:%d: %s\n", in, line, why);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fontconv INPUT.jhf OUTPUT.dat\n");
    return 2;
  }
  const char* in = argv[1];
  const char* out = argv[2];
  std::ifstream is(in, std::ios::binary);
  if (!is) {
    std::fprintf(stderr, "fontconv: cannot open %s\n", in);
    return 1;
  }

  std::vector<std::string> glyphs;
  std::string line;
  int lineno = 0;
  std::string cur;  // glyph being assembled (count + extents + pairs)
  size_t want = 0;  // characters the current glyph needs
  while (std::getline(is, line)) {
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (want != 0) {
      // Continuation of a wrapped glyph.
      cur += line;
      if (cur.size() > want) return fail(in, lineno, "glyph longer than its count");
      if (cur.size() == want) {
        glyphs.push_back(cur);
        want = 0;
      }
      continue;
    }
    if (line.empty()) continue;
    if (line.size() < 10) return fail(in, lineno, "short glyph line");
    int n = 0;
    if (!parse_count(line.substr(5, 3), &n)) return fail(in, lineno, "bad pair count");
    cur = line.substr(5);
    want = 3 + 2 * static_cast<size_t>(n);
    if (cur.size() > want) return fail(in, lineno, "glyph longer than its count");
    if (cur.size() == want) {
      glyphs.push_back(cur);
      want = 0;
    }
  }
  if (want != 0) return fail(in, lineno, "file ends inside a glyph");
  if (glyphs.size() < kGlyphs) return fail(in, lineno, "fewer than 95 glyphs");

  for (int g = 0; g < kGlyphs; ++g) {
    for (size_t i = 3; i < glyphs[g].size(); ++i) {
      unsigned char c = static_cast<unsigned char>(glyphs[g][i]);
      if (c < 32 || c > 126) return fail(in, g + 1, "coordinate character out of range");
    }
  }

  std::ostringstream os;
  for (int g = 0; g < kGlyphs; ++g) os << glyphs[g] << '\n';
  const std::string text = os.str();

  // Write to a temporary name and rename, so a failed run leaves no half file.
  std::string tmp = std::string(out) + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "fontconv: cannot create %s\n", tmp.c_str());
    return 1;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), out) != 0) {
    std::remove(tmp.c_str());
    std::fprintf(stderr, "fontconv: cannot write %s\n", out);
    return 1;
  }
  return 0;
}
