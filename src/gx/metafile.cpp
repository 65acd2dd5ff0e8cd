// Display list and hardcopy file. The list holds one frame (two while double
// buffering) as runs of 16-bit records in native order; the hardcopy file
// holds the same words big-endian.
#include "gx/metafile.h"

#include <sys/types.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <new>

#include "base/message.h"
#include "base/safefile.h"
#include "gx/gx.h"
#include "gx/xdriver.h"

namespace {

constexpr std::size_t kBufferWords = 10000000;  // 20,000,000 bytes
constexpr int kMaxBuffers = 250;
constexpr std::size_t kSlack = 10;  // room kept for the largest record

struct buffer_set {
  std::vector<std::unique_ptr<int16_t[]>> bufs;
  std::vector<std::size_t> lens;  // word count of each buffer once it is left
  bool cut = false;  // recording had stopped when its frame was completed (double buffering)
};

// The frames held in memory. Set up by gxhnew (at package start); the
// frame being written is emptied by every new frame.
struct display_list {
  buffer_set sets[2];         // frame buffers; the second only while double buffering
  int pntf = 0;               // set being written
  std::size_t hpnt = 0;       // next free word in the last buffer of that set
  int dbmode = 0;             // 1 while double buffering: the other set holds the completed frame
  int herr = 0;               // 1 while recording is stopped (no buffer room) until the next frame
  std::uint64_t stops = 0;    // times recording stopped for want of room, for gxhstops
  std::uint64_t dropped = 0;  // records left out while it stays stopped, for gxhdropped
  float xrsize = 0;           // real page width, inches, for the file header
  float yrsize = 0;           // real page height
  std::size_t buffer_words = kBufferWords;  // words a buffer takes before the next is begun
  int max_buffers = kMaxBuffers;            // buffers a set may have (test hook gxhlimits)
};

// The hardcopy file between enable and disable print. It is written beside
// its name and renamed into place when print is disabled; hfile is its stream.
struct hardcopy_file {
  std::unique_ptr<replacing_file> hout;
  std::FILE* hfile = nullptr;
  int hflag = 0;   // 1 while a file is open
  int hferr = 0;   // 1 after a write failed, until disable print says so
  int hpflg = 0;   // 1 when a frame was written since the last new-frame record
  off_t hpos = 0;  // end of the last complete write
};

// Everything the display list and the hardcopy file keep between calls.
struct metafile_state {
  display_list dl;
  hardcopy_file hc;
};

metafile_state ms;

std::unique_ptr<int16_t[]> new_buffer() {
  return std::unique_ptr<int16_t[]>(new (std::nothrow) int16_t[kBufferWords]);
}

// Keeps only the first buffer of a set.
void trim(buffer_set& s) {
  if (s.bufs.size() > 1) s.bufs.resize(1);
  s.lens.assign(s.bufs.size(), 0);
}

void release(buffer_set& s) {
  s.bufs.clear();
  s.lens.clear();
}

// The rest of the frame goes unrecorded; the command that drew it fails.
void stop_recording() {
  ms.dl.herr = 1;
  ms.dl.stops++;
}

inline void append(const int16_t* w, int n) {
  if (ms.dl.herr) {
    ms.dl.dropped++;
    return;
  }
  buffer_set& s = ms.dl.sets[ms.dl.pntf];
  if (s.bufs.empty()) return;
  int16_t* b = s.bufs.back().get();
  for (int i = 0; i < n; i++) b[ms.dl.hpnt + i] = w[i];
  ms.dl.hpnt += n;
  if (ms.dl.hpnt > ms.dl.buffer_words - kSlack) hfull();
}

inline int16_t low16(int v) { return static_cast<int16_t>(static_cast<uint16_t>(v & 0xffff)); }

// Current frame's spans of a set; the set being written has its open length.
std::vector<metafile_span> spans_of(int set) {
  std::vector<metafile_span> out;
  const buffer_set& s = ms.dl.sets[set];
  for (std::size_t i = 0; i < s.bufs.size(); i++) {
    std::size_t n = (set == ms.dl.pntf && i + 1 == s.bufs.size()) ? ms.dl.hpnt : s.lens[i];
    out.push_back({s.bufs[i].get(), n});
  }
  return out;
}

// Back to the end of the last complete write. Streams that cannot seek (a
// pipe) are only ever written in order, so they need no seek.
int seek_hpos() {
  if (ftello(ms.hc.hfile) == ms.hc.hpos) return 0;
  return fseeko(ms.hc.hfile, ms.hc.hpos, SEEK_SET);
}

// Writes the spans of a set to the file; 0 ok, 1 error (file then closed).
int write_set(int set) {
  for (const metafile_span& sp : spans_of(set))
    if (gxhwri(sp.words, sp.count)) return 1;
  return 0;
}

// A write to the hardcopy file failed (errno says why): it is closed, the
// reason said and, when marked, the error holds until disable print.
void drop_file(bool mark) {
  const int why = errno;
  kaprntout("I/O Error writing to print metafile.\n");
  if (ms.hc.hout) kaprntout("  %s\n", ms.hc.hout->write_failed(why).c_str());
  ms.hc.hout.reset();
  ms.hc.hfile = nullptr;
  if (mark) ms.hc.hferr = 1;
  ms.hc.hflag = ms.hc.hpflg = 0;
}

// Pushes buffered bytes out so that a full disk shows as an error now.
int flush_file() {
  if (std::fflush(ms.hc.hfile) == 0 && !std::ferror(ms.hc.hfile)) return 0;
  drop_file(true);
  return 1;
}

// Forwards records to the window driver.
struct driver_sink : metafile_sink {
  void colour(int c) override { gxdcol(c); }
  void width(int, int dev) override { gxdwid(dev); }
  void define_colour(int n, int r, int g, int b) override { gxdacl(n, r, g, b); }
  void rect(float a, float b, float c, float d) override { gxdrec(a, b, c, d); }
  void polygon(const float* xy, int n) override { gxdfil(xy, n); }
  void move(float x, float y) override { gxdmov(x, y); }
  void draw(float x, float y) override { gxddrw(x, y); }
  void pattern(int t, int d, int a) override { gxdptn(static_cast<fill_pattern>(t), d, a); }
};

}  // namespace

int16_t gxhcoord(float value) {
  if (std::isnan(value)) return 0;
  double v = static_cast<double>(value) * 1000.0 + 0.5;
  if (v <= 0) return 0;
  if (v >= 32760) return 32760;
  return static_cast<int16_t>(static_cast<int>(v));
}

void xycnv(int16_t ix, int16_t iy, float* x, float* y) {
  *x = static_cast<float>(ix) / 1000.0f;
  *y = static_cast<float>(iy) / 1000.0f;
}

void hout0(metafile_opcode code) {
  int16_t w[1] = {low16(code)};
  append(w, 1);
}

void hout1(metafile_opcode code, int i) {
  int16_t w[2] = {low16(code), low16(i)};
  append(w, 2);
}

void hout2(metafile_opcode code, float x, float y) {
  int16_t w[3] = {low16(code), gxhcoord(x), gxhcoord(y)};
  append(w, 3);
}

void hout2i(metafile_opcode code, int i, int j) {
  int16_t w[3] = {low16(code), low16(i), low16(j)};
  append(w, 3);
}

void hout3i(metafile_opcode code, int i, int j, int k) {
  int16_t w[4] = {low16(code), low16(i), low16(j), low16(k)};
  append(w, 4);
}

void hout4i(metafile_opcode code, int i, int j, int k, int l) {
  int16_t w[5] = {low16(code), low16(i), low16(j), low16(k), low16(l)};
  append(w, 5);
}

void hout4(metafile_opcode code, float a, float b, float c, float d) {
  int16_t w[5] = {low16(code), gxhcoord(a), gxhcoord(b), gxhcoord(c), gxhcoord(d)};
  append(w, 5);
}

void hfull() {
  buffer_set& s = ms.dl.sets[ms.dl.pntf];
  if (s.bufs.empty()) return;
  s.lens.back() = ms.dl.hpnt;
  if (static_cast<int>(s.bufs.size()) >= ms.dl.max_buffers) {
    kaprntout("Out of buffer space\n");
    stop_recording();
    return;
  }
  auto b = new_buffer();
  if (!b) {
    kaprntout("Memory allocation error for metafile buffers.\n");
    stop_recording();
    return;
  }
  s.bufs.push_back(std::move(b));
  s.lens.push_back(0);
  ms.dl.hpnt = 0;
}

void gxhnew(float width, float height) {
  ms.hc.hout.reset();  // only when the package is restarted
  ms.hc.hfile = nullptr;
  ms.dl.xrsize = width;
  ms.dl.yrsize = height;
  ms.hc.hflag = ms.dl.herr = ms.hc.hferr = ms.hc.hpflg = ms.dl.dbmode = 0;
  release(ms.dl.sets[0]);
  release(ms.dl.sets[1]);
  ms.dl.pntf = 0;
  ms.dl.hpnt = 0;
  auto b = new_buffer();
  if (!b) {
    kaprntout("Unable to allocate memory for metafile operations.\n");
    stop_recording();
    return;
  }
  ms.dl.sets[0].bufs.push_back(std::move(b));
  ms.dl.sets[0].lens.push_back(0);
}

void gxhfrm(frame_action action) {
  if (ms.hc.hflag) {
    if (seek_hpos() == 0 && ms.hc.hpflg) {
      int16_t w = MF_NEWFRAME;
      if (gxhwri(&w, 1) == 0) {
        ms.hc.hpflg = 0;
        ms.hc.hpos = ftello(ms.hc.hfile);
      }
    }
  }

  if (action == frame_action::double_buffer && !ms.dl.dbmode) {
    ms.dl.dbmode = 1;
    release(ms.dl.sets[1]);
    auto b = new_buffer();
    if (b) {
      ms.dl.sets[1].bufs.push_back(std::move(b));
      ms.dl.sets[1].lens.push_back(0);
    } else {
      kaprntout("Memory allocation error for metafile buffers.\n");
      stop_recording();
    }
  } else if (action != frame_action::double_buffer && ms.dl.dbmode) {
    ms.dl.dbmode = 0;
    release(ms.dl.sets[1]);
  }

  if (!ms.dl.dbmode) {
    trim(ms.dl.sets[0]);
    ms.dl.pntf = 0;
  } else {
    buffer_set& done = ms.dl.sets[ms.dl.pntf];
    if (!done.bufs.empty()) done.lens.back() = ms.dl.hpnt;
    done.cut = ms.dl.herr != 0;
    ms.dl.pntf = 1 - ms.dl.pntf;
    buffer_set& next = ms.dl.sets[ms.dl.pntf];
    trim(next);
    if (next.bufs.empty()) {
      // A set that lost its buffer (an earlier allocation failure) tries again.
      auto b = new_buffer();
      if (b) {
        next.bufs.push_back(std::move(b));
        next.lens.push_back(0);
      } else {
        kaprntout("Memory allocation error for metafile buffers.\n");
        ms.dl.stops++;  // recording stays stopped below
      }
    }
  }
  ms.dl.hpnt = 0;
  // Recording resumes with the new frame when there is somewhere to write.
  ms.dl.herr = ms.dl.sets[ms.dl.pntf].bufs.empty() ? 1 : 0;
}

int gxhbgn(const char* name) {
  if (ms.hc.hferr) {
    kaprntout("Metafile error state is positive.\n");
    kaprntout("Disable Print before attempting an Enable Print.\n");
    return 1;
  }
  if (ms.hc.hflag) {
    kaprntout("Metafile already open\n");
    return 1;
  }
  // The file is written with seeks back over its end record: no pipe.
  ms.hc.hout = std::make_unique<replacing_file>(name, special_output::device_only);
  ms.hc.hfile = ms.hc.hout->stream();
  if (!ms.hc.hfile) {
    kaprntout("Error opening meta file %s \n  %s\n", name, ms.hc.hout->error().c_str());
    ms.hc.hout.reset();
    return 1;
  }
  ms.hc.hflag = 1;
  int16_t hdr[3] = {MF_HEADER, gxhcoord(ms.dl.xrsize), gxhcoord(ms.dl.yrsize)};
  if (gxhwri(hdr, 3) || flush_file()) return 1;
  ms.hc.hpos = ftello(ms.hc.hfile);
  // A recording error stays with its frame: clearing it here would resume
  // appending into a buffer set that is already exhausted.
  ms.hc.hpflg = ms.hc.hferr = 0;
  return 0;
}

int gxhprt() {
  if (ms.dl.herr || ms.hc.hferr) {
    kaprntout("Error status on print metafile is positive.\n");
    kaprntout("Cannot print current frame.\n");
    return 1;
  }
  if (!ms.hc.hflag) {
    kaprntout("Metafile not currently open\n");
    return 1;
  }
  if (seek_hpos() != 0) {
    drop_file(true);
    return 1;
  }
  // While double buffering the completed frame is printed, not the one being drawn.
  int set = (ms.dl.dbmode && ms.dl.pntf == 0) ? 1 : 0;
  if (write_set(set)) return 1;
  if (flush_file()) return 1;
  ms.hc.hpflg = 1;
  ms.hc.hpos = ftello(ms.hc.hfile);
  return 0;
}

int gxhwri(const int16_t* words, std::size_t count) {
  if (!ms.hc.hfile) return 1;
  unsigned char chunk[8192];
  std::size_t i = 0;
  while (i < count) {
    std::size_t n = 0;
    for (; i < count && n + 2 <= sizeof chunk; i++) {
      uint16_t w = static_cast<uint16_t>(words[i]);
      chunk[n++] = static_cast<unsigned char>(w >> 8);
      chunk[n++] = static_cast<unsigned char>(w & 0xff);
    }
    if (std::fwrite(chunk, 1, n, ms.hc.hfile) != n || std::ferror(ms.hc.hfile)) {
      drop_file(true);
      return 1;
    }
  }
  return 0;
}

bool gxhend() {
  if (ms.hc.hferr) {
    kaprntout("Resetting print metafile error status.\n");
    ms.hc.hferr = 0;
    return true;
  }
  if (!ms.hc.hflag) {
    kaprntout("No hardcopy metafile open\n");
    return true;
  }
  if (seek_hpos() != 0) {
    drop_file(false);
    return false;
  }
  int16_t tail[2] = {MF_NEWFRAME, MF_EOF};
  int rc = ms.hc.hpflg ? gxhwri(tail, 2) : gxhwri(tail + 1, 1);
  if (rc) return false;
  bool ok = ms.hc.hout->commit();
  std::string why = ms.hc.hout->error();
  ms.hc.hout.reset();
  ms.hc.hfile = nullptr;
  ms.hc.hflag = ms.hc.hpflg = 0;
  if (!ok) {
    kaprntout("I/O Error writing to print metafile.\n  %s\n", why.c_str());
    return false;
  }
  kaprntout("Hardcopy output file is closed \n");
  return true;
}

std::vector<metafile_span> gxhspans(stored_frame which) {
  if (which == stored_frame::drawing) return spans_of(ms.dl.pntf);
  if (!ms.dl.dbmode) return {};
  return spans_of(1 - ms.dl.pntf);
}

int gxhrecords(stored_frame which, const std::function<int(const int16_t*)>& fn) {
  for (const metafile_span& sp : gxhspans(which)) {
    std::size_t n = sp.count, i = 0;
    while (i < n) {
      std::size_t len;
      switch (sp.words[i]) {
        case MF_COLOUR: len = 2; break;
        case MF_WIDTH: len = 3; break;
        case MF_DEFCOL: len = 5; break;
        case MF_RECT: len = 5; break;
        case MF_POLYBGN: len = 2; break;
        case MF_POLYEND: len = 1; break;
        case MF_MOVE:
        case MF_DRAW: len = 3; break;
        case MF_PATTERN: len = 4; break;
        case MF_EOF: return 4;
        case MF_HEADER: return 8;
        case MF_NEWFRAME: return 12;
        default: return 20;
      }
      if (i + len > n) return 20;
      if (int err = fn(sp.words + i)) return err;
      i += len;
    }
  }
  return 0;
}

int gxhwalk(stored_frame which, metafile_sink& sink) {
  std::vector<float> poly;
  bool inpoly = false;
  return gxhrecords(which, [&](const int16_t* r) {
    float x, y;
    switch (r[0]) {
      case MF_COLOUR: sink.colour(r[1]); break;
      case MF_WIDTH: sink.width(r[1], r[2]); break;
      case MF_DEFCOL: sink.define_colour(r[1], r[2], r[3], r[4]); break;
      case MF_RECT:
        sink.rect(r[1] / 1000.0f, r[2] / 1000.0f, r[3] / 1000.0f, r[4] / 1000.0f);
        break;
      case MF_POLYBGN:
        // The count word only hints at the size: points are gathered as they come.
        poly.clear();
        if (r[1] > 0) poly.reserve(2 * static_cast<std::size_t>(r[1]));
        inpoly = true;
        break;
      case MF_POLYEND:
        if (!inpoly) return 16;
        sink.polygon(poly.data(), static_cast<int>(poly.size() / 2));
        poly.clear();
        inpoly = false;
        break;
      case MF_MOVE:
      case MF_DRAW:
        xycnv(r[1], r[2], &x, &y);
        if (inpoly) {
          poly.push_back(x);
          poly.push_back(y);
        } else if (r[0] == MF_DRAW) {
          sink.draw(x, y);
        } else {
          sink.move(x, y);
        }
        break;
      case MF_PATTERN: sink.pattern(r[1], r[2], r[3]); break;
    }
    return 0;
  });
}

void gxhdrw(stored_frame which) {
  if (which != stored_frame::drawing && !ms.dl.dbmode) {
    kaprntout("Logic error 0 in Redraw.  Contact Developer.\n");
    return;
  }
  gxsfrm();
  driver_sink sink;
  int rc = gxhwalk(which, sink);
  if (rc) kaprntout("Logic Error %d in Redraw.  Notify Developer\n", rc);
}

void gxhpage(float* width, float* height) {
  *width = ms.dl.xrsize;
  *height = ms.dl.yrsize;
}

int gxhdbmode() { return ms.dl.dbmode; }

int gxhrecording() { return !ms.dl.herr; }

bool gxhpicturable(stored_frame which) {
  const bool cut = which == stored_frame::drawing ? ms.dl.herr != 0
                                                  : ms.dl.dbmode && ms.dl.sets[1 - ms.dl.pntf].cut;
  if (cut)
    kaprntout("The display list had no room for all of this frame: no picture of it is made\n");
  return !cut;
}

std::uint64_t gxhstops() { return ms.dl.stops; }

std::uint64_t gxhdropped() { return ms.dl.dropped; }

void gxhlimits(std::size_t words_per_buffer, int buffers) {
  ms.dl.buffer_words = (words_per_buffer == 0 || words_per_buffer > kBufferWords)
                           ? kBufferWords
                           : (words_per_buffer < 2 * kSlack ? 2 * kSlack : words_per_buffer);
  ms.dl.max_buffers = buffers <= 0 ? kMaxBuffers : buffers;
}
