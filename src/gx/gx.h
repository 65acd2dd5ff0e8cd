// Graphics package: the device-independent drawing layer, the coordinate
// chain, frames, the display list and hardcopy file, text and the window
// services. All coordinates are virtual page inches unless said otherwise.
#pragma once

#include <cstdint>
#include <string>

// A transform of a point pair (may write its output over its input).
using coordinate_callback = void (*)(float x, float y, float* xo, float* yo);
// A transform that reads the parameter record it was installed with (a map
// projection's).
using bound_callback = void (*)(const void* params, float x, float y, float* xo, float* yo);

// Start, end, frames.
void gxstrt(float width, float height, bool batch);
void gxend();
// What a new frame does; the numbers are the ones the display list and the
// window driver are told.
enum class frame_action : int {
  wait = 0,            // with a window, first waits for a line on standard input; then as clear
  clear = 1,           // new frame
  double_buffer = 2,   // new frame drawn out of sight while the last one shows
  graphics = 7,        // new frame clearing the graphics only (widgets stay)
  discard_events = 8,  // window only: pending mouse events dropped
  serve_events = 9,    // window only: pending window events served, nothing cleared
};
// Window-only actions leave the display list and the page alone.
constexpr bool window_only(frame_action a) {
  return a == frame_action::discard_events || a == frame_action::serve_events;
}
void gxfrme(frame_action action);
void gxsfrm();

// Attributes.
void gxcolr(int colour);
int gxacol(int n, int red, int green, int blue);
void gxbckg(int colour);
int gxqbck();
int gxqclr();
int gxqstl();
void gxwide(int thickness);
void gxstyl(int style);
// Fill patterns ("set fill"); the numbers are the ones the display list keeps.
enum class fill_pattern : int { open = 0, solid = 1, dot = 2, line = 3 };
void gxptrn(fill_pattern type, int density, int angle);

// Drawing.
void gxmove(float x, float y);
void gxdraw(float x, float y);
// Pen codes of gxplot: draw to the point (pen down) or move to it (pen up).
// The numbers are the ones the stroke tables keep.
enum class pen_code : int { draw = 2, move = 3 };
void gxplot(float x, float y, pen_code pen);
void gxclip(float xlo, float xhi, float ylo, float yhi);
void gxrecf(float xlo, float xhi, float ylo, float yhi);
void gxfill(const float* xy, int n);
void gxmark(int type, float x, float y, float size);
// Display-list words one mark of this type and size records inside the clip
// area (0 for a type gxmark does not draw), and the words of one line
// segment and of one colour change: what a drawing will hold, known before.
int gxmark_words(int type, float size);
inline constexpr int kSegmentWords = 3;
inline constexpr int kColourWords = 2;
void gxtitl(const char* text, float x, float y, float height, float width, float angle);

// Coordinate chain. A point converted from a level runs through every step
// below it: the grid transform from grid, the projection from world, the
// linear page scaling from the projection plane; page copies. The order of
// the values is the order of the chain.
enum class coord_level : int { page = 0, projection_plane = 1, world = 2, grid = 3 };
void gxscal(float pxlo, float pxhi, float pylo, float pyhi, float wxlo, float wxhi, float wylo,
            float wyhi);
void gxvpag(float width, float height, float xlo, float xhi, float ylo, float yhi);
void gxvcon(float x, float y, float* xo, float* yo);
void gxppvp(float x, float y, float* xo, float* yo);
void gxproj(coordinate_callback fn);
void gxgrid(coordinate_callback fn);
void gxback(coordinate_callback fn);
// The same with a parameter record, which must outlive the installation.
void gxproj(bound_callback fn, const void* params);
void gxback(bound_callback fn, const void* params);
// After installing a projection that shows one side of the globe only: its
// side is the longitudes within 90 degrees of middle (repeated every 360).
// Installing another projection or emptying it shows the whole globe again.
void gxside(float middle);
// Whether the projection shows one side only, and its middle longitude.
bool gxqside(float* middle);
// Empties the transforms a conversion from level would run (world: the
// projection and its inverse; grid: the grid transform as well).
void gxrset(coord_level level);
void gxconv(float x, float y, float* xo, float* yo, coord_level level);
void gxcord(float* xy, int n, coord_level level);
void gxgrmp(float x, float y, float* xo, float* yo);
void gxxy2w(float x, float y, float* xo, float* yo);

// Names and environment.
const char* gxgsym(const char* name);
// Full path of a file in the data directory (KADDIR).
std::string gxgnam(const std::string& name);

// Stroke fonts.
void gxchii();
void gxchdf(int font);
void gxchpl(const char* text, int length, float x, float y, float height, float width, float angle);
int gxchln(const char* text, int length, float width, float* out_length);

// Display list and hardcopy file (records in metafile.h).
void gxhnew(float width, float height);
// Opens the hardcopy file: 0 when opened; 1 when it failed or was refused
// with a message (a file already open, a pending write error).
int gxhbgn(const char* name);
// Ends and closes the hardcopy file; with none open it says so. false when
// the file could not be written whole and placed (said with its reason).
bool gxhend();
// Appends the current frame (the completed one while double buffering):
// 0, or 1 when refused or failed, with a message.
int gxhprt();
void gxhfrm(frame_action action);
// Times the display list stopped recording a frame for want of buffer room
// (said by a message): a command that drew fails when this moved.
std::uint64_t gxhstops();
// Drawing records left out of a frame whose recording had already stopped:
// a later command that drew into that frame fails as well.
std::uint64_t gxhdropped();

// Image output: 0 success, 1 open failure, 2 output failure.
int gxhpng(const char* name, int width, int height, int background, int format);

// Window services (no-ops without a window; gxdbtn then answers
// x = y = -999.9, button and type -1, and win_data 0).
void gxdgeo(const char* geometry);
void gxwdln();
// Window background white (else black); colours 0-15 drawn as greys.
void gxdbck(bool white);
void gxgrey(bool grey);
void gxdssv(int n);
void gxdssh(int n);
void gxdsfr(int n);
void gxdxsz(int width, int height);
// Removes widget n of a kind (button 1, rubber band 2, drop menu 3).
enum class widget_type : int { button = 1, rubber_band = 2, drop_menu = 3 };
void gxrs1wd(widget_type type, int n);
void gxclmn(float distance);
// What a mouse press landed on; the numbers are the ones "q pos" prints.
enum class mouse_event_type : int {
  none = -1,        // no press to report
  plain = 0,        // on no widget
  button = 1,       // on a button
  rubber_band = 2,  // started a rubber band
  drop_menu = 3,    // on a drop menu
};
void gxdbtn(bool wait, float* x, float* y, int* button, mouse_event_type* type, int* ival,
            float* rval);
int win_data(int* data);
// 0 when the dump was written; 1 without a window or after a failure.
int dump_back_buffer(const char* name);
int dump_front_buffer(const char* name);
