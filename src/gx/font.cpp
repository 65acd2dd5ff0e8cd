// Stroke fonts: ten vector fonts read on first use from "font%i.dat", text
// drawn as strokes through the drawing layer, width measured the same way.
// A string may switch font (`0..`9), superscript (`a), subscript (`b) and
// back to normal (`n).

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/inputfile.h"
#include "base/message.h"
#include "gx/font.h"
#include "gx/gx.h"

namespace {

constexpr int kFonts = 10;
constexpr int kGlyphs = 95;  // characters 32..126

// One font as read from its file.
struct stroke_font {
  bool loaded = false;
  std::string text;   // the whole file
  int offs[kGlyphs];  // start of each glyph line in text
  int lens[kGlyphs];  // length of each glyph line (up to its line end)
  int cnts[kGlyphs];  // pair count, extent pair included
};

// The fonts of the session, emptied by gxchii (at package start).
struct font_state {
  stroke_font fonts[kFonts];  // font n, loaded on first use
  int dfont = 0;              // font a string starts in (gxchdf)
};

font_state fs;

// The pair count in the first three columns, read as "%i" would.
int read_count(const char* p, int len) {
  char buf[4] = {0, 0, 0, 0};
  for (int i = 0; i < 3 && i < len; ++i) buf[i] = p[i];
  int n = 0;
  if (std::sscanf(buf, "%i", &n) != 1 || n < 0) return 0;
  return n;
}

enum class mode { normal, super, sub };

// One step of escape handling: consumes `d, `a, `b, `n at *i.
void take_escapes(const char* s, int len, int* i, int* font, mode* m) {
  while (*i < len && s[*i] == '`' && *i + 1 < len && s[*i + 1] != '\0') {
    char c = s[*i + 1];
    if (c >= '0' && c <= '9') {
      *font = c - '0';
    } else if (c == 'a') {
      *m = mode::super;
    } else if (c == 'b') {
      *m = mode::sub;
    } else if (c == 'n') {
      *m = mode::normal;
    } else {
      break;  // drawn as an ordinary backquote
    }
    *i += 2;
  }
}

struct glyph {
  const char* p = nullptr;  // glyph line
  int len = 0;              // characters up to the line end
  int count = 0;            // pair count, extent pair included
  int left = 0, right = 0;
};

bool get_glyph(int ch, int font, glyph* g) {
  int n = 0;
  const char* p = gxchgc(ch, font, &n);
  if (!p) return false;
  const stroke_font& f = fs.fonts[font];
  int idx = (ch >= 32 && ch <= 126) ? ch - 32 : 0;
  g->p = p;
  g->len = f.lens[idx];
  g->count = n;
  // Extents in columns 4 and 5; a line too short for them is an empty glyph.
  if (g->len >= 5) {
    g->left = p[3] - 'R';
    g->right = p[4] - 'R';
  } else {
    g->left = g->right = 0;
  }
  return true;
}

}  // namespace

void gxchii() {
  for (auto& f : fs.fonts) {
    f.loaded = false;
    f.text.clear();
    f.text.shrink_to_fit();
  }
  fs.dfont = 0;
}

void gxchdf(int font) {
  if (font >= 0 && font < kFonts) fs.dfont = font;
}

int gxchrd(int font) {
  if (font < 0 || font >= kFonts) return 1;
  char name[32];
  std::snprintf(name, sizeof name, "font%i.dat", font);
  std::string dname = gxgnam(name);
  // Through the input gate: a pipe or device under the name would block the
  // first text drawn for ever.
  std::vector<std::string> tries = {dname};
  // A data directory of "." names the same file twice.
  if (dname != name) tries.push_back(name);
  std::string refused;
  input_file fp = open_first(tries, refused);
  if (!fp.ok()) {
    kaprntout("Error opening stroke character data set \n");
    kaprntout("  Data set names = %s ; %s\n", dname.c_str(), name);
    kaputout(refused);
    return 1;
  }

  std::string text;
  bool ok = std::fseek(fp.get(), 0, SEEK_END) == 0;
  long size = ok ? std::ftell(fp.get()) : -1;
  if (!ok || size < 0 || std::fseek(fp.get(), 0, SEEK_SET) != 0) {
    kaprntout("Error reading font data: I/O Error\n");
    return 1;
  }
  try {
    text.resize(static_cast<size_t>(size));
  } catch (...) {
    kaprntout("Error reading font data:  Memory allocation error\n");
    return 1;
  }
  size_t got = fp.read(text.data(), text.size());
  const bool stopped = fp.interrupted();
  fp.close();
  if (got != text.size()) {
    kaprntout(stopped ? "Error reading font data: interrupted\n"
                      : "Error reading font data: I/O Error\n");
    return 1;
  }

  stroke_font& f = fs.fonts[font];
  int nline = 0;
  const int n = static_cast<int>(text.size());
  int i = 0;
  while (i < n && nline < kGlyphs) {
    // Skip the line ends before this glyph line.
    while (i < n && static_cast<unsigned char>(text[i]) < 32) ++i;
    if (i >= n) break;
    int start = i;
    while (i < n && static_cast<unsigned char>(text[i]) >= 32) ++i;
    f.offs[nline] = start;
    f.lens[nline] = i - start;
    f.cnts[nline] = read_count(text.data() + start, i - start);
    ++nline;
  }
  if (nline < kGlyphs) {
    // A short file would leave characters without glyphs.
    kaprntout("Error reading font data: %s has %d of 95 character lines\n",
              dname.empty() ? name : dname.c_str(), nline);
    return 1;
  }
  f.text = std::move(text);
  f.loaded = true;
  return 0;
}

const char* gxchgc(int ch, int font, int* count) {
  if (font < 0 || font >= kFonts) return nullptr;
  if (!fs.fonts[font].loaded && gxchrd(font) != 0) return nullptr;
  const stroke_font& f = fs.fonts[font];
  int idx = (ch >= 32 && ch <= 126) ? ch - 32 : 0;
  if (count) *count = f.cnts[idx];
  return f.text.data() + f.offs[idx];
}

void gxchpl(const char* text, int length, float x, float y, float height, float width,
            float angle) {
  if (!text) return;
  int font = fs.dfont;
  mode m = mode::normal;
  const double rad = angle * 3.1416 / 180.0;
  const double ca = std::cos(rad), sa = std::sin(rad);
  int i = 0;
  while (i < length && text[i] != '\0') {
    take_escapes(text, length, &i, &font, &m);
    if (i >= length || text[i] == '\0') break;
    int ch = static_cast<unsigned char>(text[i]);
    glyph g;
    if (!get_glyph(ch, font, &g)) return;

    float sx = width / 21.0f, sy = height / 22.0f;
    float off = 0.0f;
    if (m != mode::normal) {
      sx *= 0.45f;
      sy *= 0.45f;
      off = (m == mode::super) ? 0.35f * height : -0.42f * height;
    }
    float w = static_cast<float>(g.right - g.left) * sx * 1.05f;

    float ox, oy;
    const bool rotated = angle != 0.0f;
    if (!rotated) {
      ox = x + w / 2.0f;
      oy = y + 0.42f * height + off;
    } else {
      float vx = w / 2.0f, vy = 0.42f * height + off;
      ox = x + static_cast<float>(vx * ca - vy * sa);
      oy = y + static_cast<float>(vx * sa + vy * ca);
    }

    // Pairs follow the extents; the walk stops at the end of the line even
    // when the count promises more.
    bool lift = true;
    for (int k = 0; k < g.count - 1; ++k) {
      int pos = 5 + 2 * k;
      if (pos + 1 >= g.len) break;
      if (g.p[pos] == ' ') {
        lift = true;
        continue;
      }
      float px = static_cast<float>(g.p[pos] - 'R') * sx;
      float py = -static_cast<float>(g.p[pos + 1] - 'R') * sy;
      float qx, qy;
      if (!rotated) {
        qx = ox + px;
        qy = oy + py;
      } else {
        qx = ox + static_cast<float>(px * ca - py * sa);
        qy = oy + static_cast<float>(px * sa + py * ca);
      }
      if (lift) {
        gxmove(qx, qy);
        lift = false;
      } else {
        gxdraw(qx, qy);
      }
    }

    if (!rotated) {
      x += w;
    } else {
      x += static_cast<float>(w * ca);
      y += static_cast<float>(w * sa);
    }
    ++i;
  }
}

int gxchln(const char* text, int length, float width, float* out_length) {
  float total = 0.0f;
  if (out_length) *out_length = 0.0f;
  if (!text) return 0;
  int font = fs.dfont;
  mode m = mode::normal;
  int i = 0;
  int rc = 0;
  while (i < length && text[i] != '\0') {
    take_escapes(text, length, &i, &font, &m);
    if (i >= length || text[i] == '\0') break;
    glyph g;
    if (!get_glyph(static_cast<unsigned char>(text[i]), font, &g)) {
      rc = 1;
      break;
    }
    float sx = width / 21.0f;
    if (m != mode::normal) sx *= 0.45f;
    total += static_cast<float>(g.right - g.left) * sx * 1.05f;
    ++i;
  }
  if (out_length) *out_length = total;
  return rc;
}
