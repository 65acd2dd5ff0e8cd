// Display list internals: the record codes, the appenders the drawing layer
// uses, and a walker for everything that replays a frame (window redraw,
// image output, tests). Only the graphics package includes this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Operation codes: the first word of each record.
enum metafile_opcode : int16_t {
  MF_HEADER = -1,    // page width, page height (file only)
  MF_NEWFRAME = -2,  // (file only)
  MF_COLOUR = -3,    // colour
  MF_WIDTH = -4,     // hardcopy thickness, device thickness
  MF_DEFCOL = -5,    // n, red, green, blue
  MF_RECT = -6,      // xlo, xhi, ylo, yhi
  MF_POLYBGN = -7,   // point count (low 16 bits)
  MF_POLYEND = -8,
  MF_EOF = -9,       // (file only)
  MF_MOVE = -10,     // x, y
  MF_DRAW = -11,     // x, y
  MF_PATTERN = -12,  // type, density, angle
};

// Appenders. Coordinates are real page inches.
void hout0(metafile_opcode code);
void hout1(metafile_opcode code, int i);
void hout2(metafile_opcode code, float x, float y);
void hout2i(metafile_opcode code, int i, int j);
void hout3i(metafile_opcode code, int i, int j, int k);
void hout4i(metafile_opcode code, int i, int j, int k, int l);
void hout4(metafile_opcode code, float a, float b, float c, float d);
void hfull();

// The stored form of a coordinate: thousandths of an inch in 0..32760,
// 0 for a value that is not a number.
int16_t gxhcoord(float value);
// Stored words back to inches.
void xycnv(int16_t ix, int16_t iy, float* x, float* y);

// Writes count words to the open hardcopy file (big-endian); 0 ok, 1 error.
int gxhwri(const int16_t* words, std::size_t count);

// A stored frame: the one being drawn, or the completed one that shows
// while the next is drawn out of sight (double buffering only).
enum class stored_frame : int { drawing = 0, completed = 1 };

// Replays a stored frame to the window driver.
void gxhdrw(stored_frame which);

// One stored buffer of a frame, in order.
struct metafile_span {
  const int16_t* words;
  std::size_t count;
};

// The buffers of a stored frame (none for the completed frame when not
// double buffering).
std::vector<metafile_span> gxhspans(stored_frame which);

// Receives the records of a frame. Polygon points arrive gathered, however
// many there are (the count word of the record is only 16 bits).
struct metafile_sink {
  virtual ~metafile_sink() = default;
  virtual void colour(int) {}
  virtual void width(int /*hardcopy*/, int /*device*/) {}
  virtual void define_colour(int, int, int, int) {}
  virtual void rect(float /*xlo*/, float /*xhi*/, float /*ylo*/, float /*yhi*/) {}
  virtual void polygon(const float* /*xy*/, int /*n*/) {}
  virtual void move(float, float) {}
  virtual void draw(float, float) {}
  virtual void pattern(int, int, int) {}
};

// Walks the stored records of a frame (which as for gxhspans), checking each
// code and length; fn gets each whole record and returns 0 to go on or an
// error number that ends the walk. Returns 0 or that error number, or 4 (-9
// in memory), 8 (-1), 12 (-2), 20 (unknown code or a record cut short).
int gxhrecords(stored_frame which, const std::function<int(const int16_t*)>& fn);

// Walks a frame (which as for gxhspans) record by record. Returns 0, or the
// number of the logic error that ended the walk: 4 (-9 in memory), 8 (-1),
// 12 (-2), 16 (-8 without -7), 20 (unknown code or a record cut short).
int gxhwalk(stored_frame which, metafile_sink& sink);

// State queries for the image writer and tests.
void gxhpage(float* width, float* height);  // real page size kept by gxhnew
int gxhdbmode();                            // 1 while double buffering
int gxhrecording();                         // 0 after recording stopped for this frame
// False, after saying so, when the recording of the frame stopped for want of
// buffer room: a picture of it would lack what was drawn after.
bool gxhpicturable(stored_frame which);

// Test hook: shrinks the buffers (words per buffer, buffers per set) so that
// buffer exhaustion can be exercised; takes effect at the next frame. Values
// of 0 restore the defaults.
void gxhlimits(std::size_t words_per_buffer, int max_buffers);
