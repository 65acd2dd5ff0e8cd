// "printim": the current frame written as a PNG or GIF image.
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"

namespace {

bool ends_with(const std::string& s, const char* tail) {
  std::string t = tail;
  return s.size() > t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// An integer that makes up the rest of its word.
bool whole_integer(const char* p) {
  int n;
  const char* e = intprs(p, &n);
  return e && word_end(*e);
}

}  // namespace

int kaprim(char* lower, char* typed) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(msg_level::error, "PRINTIM error:  missing output file name\n");
    return 1;
  }
  std::string name = setopt::word_at(typed + (p - lower));
  if (name.size() > 256) {
    kaprnt(msg_level::error, "PRINTIM error:  file name longer than 256 characters\n");
    return 1;
  }
  // -999: not given (the window's size and background).
  // A refused word is reported and skipped; the image is still written.
  int width = -999, height = -999, background = -999, format = -999;
  while ((p = nxtwrd(p)) != nullptr) {
    if (cmpwrd(p, "black"))
      background = 0;
    else if (cmpwrd(p, "white"))
      background = 1;
    else if (cmpwrd(p, "gif"))
      format = 1;
    else if (cmpwrd(p, "png"))
      format = 0;
    else if ((*p == 'x' || *p == 'y') && (word_end(p[1]) || whole_integer(p + 1))) {
      // The size follows as the next word ("x 800") or in the same one ("x800").
      bool is_x = *p == 'x';
      int& size = is_x ? width : height;
      bool joined = !word_end(p[1]);
      char* q = joined ? p + 1 : nxtwrd(p);
      int n;
      if (q && intprs(q, &n)) {
        // No image of no pixels: refused before any file is made.
        if (n < 1) {
          kaprnt(msg_level::error, is_x ? "PRINTIM error:  x size must be 1 pixel or more\n"
                                        : "PRINTIM error:  y size must be 1 pixel or more\n");
          return 1;
        }
        size = n;
      } else {
        kaprnt(msg_level::error, is_x ? "PRINTIM error:  Invalid x option; ignored\n"
                                      : "PRINTIM error:  Invalid y option; ignored\n");
        size = -999;
      }
      // The number, good or bad, belongs to its option.
      if (q && !joined) p = q;
    } else {
      kaprnt(msg_level::error, "PRINTIM error:  Invalid option; ignored\n");
    }
  }
  if (format == -999) format = ends_with(name, ".gif") || ends_with(name, ".GIF") ? 1 : 0;
  int rc = gxhpng(name.c_str(), width, height, background, format);
  if (rc == 0) return 0;
  kaprnt(msg_level::error,
         rc == 1 ? "PRINTIM error:  open error\n" : "PRINTIM error:  output error\n");
  return 1;
}
