// The session state: everything one session knows, in the single global gcmn.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "base/gxout.h"
#include "base/safefile.h"
#include "base/mapproj.h"
#include "base/timecal.h"

struct file_descriptor;
struct defined_entry;
struct collection_entry;
struct held_results;

// Grid-to-world or world-to-grid operation of one dimension.
using dimension_op = float (*)(float* scaling, float value);

constexpr int kMaxResults = 16;
constexpr int kCollections = 32;

// Owner of the held display results, whose record the data layer defines
// (data/held.h); the routine that made the record sets the release.
struct held_results_releaser {
  void (*release)(held_results*) = nullptr;
  void operator()(held_results* held) const {
    if (release) release(held);
  }
};

// "set writegds": file name and option string, empty when not set.
struct writegds_record {
  std::string name;
  std::string options;
};

// The conversions of the last plot's axes. The scaling arrays are the
// record's own copies: the data they came from may be freed by "close",
// "undefine" or the end of a display while the record is still queried.
struct last_plot_scaling_record {
  // i grid-to-world, j grid-to-world, i world-to-grid, j world-to-grid.
  dimension_op conv[4] = {nullptr, nullptr, nullptr, nullptr};
  std::vector<float> scaling[4];
  // A time axis is drawn in grid coordinates less this base, so that a
  // float keeps steps past 2^24 apart; 0 where a float holds them whole.
  double time_base = 0;
  // The scaling array of slot k (null when none is kept).
  float* array(int k) { return scaling[k].empty() ? nullptr : scaling[k].data(); }
};

// What "reset" leaves alone: open files, defined variables, the dimension
// environment, the page, the held results, fwrite and a few plot-layer
// values that the user set once for the whole session.
struct session_kept {
  // Dimension environment and files.
  int looping = 0;
  float loopincr = 0;
  file_descriptor* file_list = nullptr;
  file_descriptor* default_file = nullptr;
  int file_count = 0;
  int default_file_number = 0;
  int file_serial = 10;
  defined_entry* defined_list = nullptr;
  float dim_min[3] = {};
  float dim_max[3] = {};
  date_time time_start = {};
  date_time time_end = {};
  int dim_varying[4] = {};

  // Page (inches); the real page and plot extent are derived again at reset.
  float real_page_width = 0, real_page_height = 0;
  float page_width = 11;
  float plot_x_low = 0, plot_x_high = 0;
  float page_height = 8.5;
  float plot_y_low = 0, plot_y_high = 0;
  float parea[4] = {};

  // Plot-layer values kept across reset.
  int shade_colours[120] = {};
  float shade_levels[120] = {};
  float vrange[3] = {}, vrange2[3] = {};
  float arrscl_size = 0;
  float arrscl_magnitude = 0;
  int mdlopts_blank = 0, mdlopts_dig3 = 0;
  float xaxis_range[2] = {};
  float xaxis_incr = 0;
  float yaxis_range[2] = {};
  float yaxis_incr = 0;
  int map_colour_auto = 0;
  int display_grey = 0, display_white = 0;
  float xlevs[50] = {}, ylevs[50] = {};
  series_output gxout_sub = output_series_plain;
  float barbase_value = 0;

  // Output files and results.
  // Open from the first fwrite until "disable fwrite"; renamed into place then.
  std::unique_ptr<replacing_file> fwrite_file;
  std::string fwrite_name;  // empty: none ("vemra.fwrite")
  int fwrite_byte_order = 1, fwrite_sequential = 0;
  int batch = 0;
  // The last display's results and the grids its plots added (data/held.h);
  // made on first use.
  std::unique_ptr<held_results, held_results_releaser> held;
  // The conversions of the last plot (kacln clears the conversions only).
  last_plot_scaling_record last_plot_scaling;
  std::string imprun;
};

// The options "reset" restores to their defaults (and start-up sets).
struct session_options {
  session_options();

  writegds_record writegds;
  int loopdim = 3;
  int parea_set = 0;

  // Contour and colour options.
  int clab = 1, clskip = 1;
  int rbcols_count = 0;
  int rbcols[100] = {};
  float clevs[100] = {};
  int ccols[100] = {};
  int csmooth = 0, cterp = 1;

  // Plot-element options.
  int grid = 1, grid_style = 5, grid_colour = 15;
  int dignum = 0;
  float digsiz = 0.07f;
  int arrlab = 1;
  float arrowhead = 0.05f;
  int missconn = 0, strmden = 5;
  std::string prnopts_format;  // empty: none ("%g ")
  int prnopts_count = 8, prnopts_blanks = 1, prnopts_undef = 0;
  int fgvals_values[50] = {};
  int fgvals_colours[50] = {};
  int fgvals_count = 0;
  int stid = 0;
  int frame = 1;
  int zlog = 0;

  // Map options.
  map_projection mproj = map_projection::latlon;
  int mpdraw = 1;
  float mpvals[10] = {};
  int mpvals_set = 0;
  std::string mpdset[8];  // empty entries are not in use
  int map_colour[256] = {};
  int map_style[256] = {};
  int map_thick[256] = {};
  int map_colour_default = -9, map_style_default = 1, map_thick_default = 1;

  // Output types, text and axes.
  general_output gxout_general = output_plot;
  line_output gxout_1d = output_line;
  line_vector_output gxout_1d_vector = output_line_vector_unset;
  field_output gxout_2d = output_contour;
  field_vector_output gxout_2d_vector = output_vector;
  station_output gxout_station = output_station_value;
  float black_range[2] = {};
  int line_colour = 1, line_style = 1, line_thick = 3;
  int string_colour = 1, string_thick = 3, string_just = 0;
  float string_rotation = 0;
  float strsiz_h = 0.1f, strsiz_v = 0.12f;
  int annot_colour = 1, annot_thick = 6;
  int xlopts_colour = 1, xlopts_thick = 4, ylopts_colour = 1, ylopts_thick = 4, clopts_colour = -1,
      clopts_thick = -1;
  float xlopts_size = 0.11f, ylopts_size = 0.11f, clopts_size = 0.09f;
  int xlab = 1, ylab = 1;
  int lfcols[2] = {2, 3};
  int wxcols[5] = {2, 10, 11, 7, 15};
  int wxopt = 1;
  int bargap = 0, baropts_outline = 0;
  int barbase_mode = 0;
  int button_defaults[9] = {1, 0, 1, 1, 1, 0, 1, 1, 3};
  int dialog_defaults[6] = {-1, -1, -1, -1, 3, 0};
  int dropmenu_defaults[15] = {1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 1};

  // Flags, counters and collections.
  int timelab = 1, stnprint = 0, dbuff = 0;
  int result_count = 0;
  collection_entry* collection_head[kCollections] = {};
  // The last entry of each chain, so that an append does not walk the chain.
  collection_entry* collection_tail[kCollections] = {};
  int collection_count[kCollections] = {};
  int stat = 0;
  int imprun_set = 0;
  int impcmd = 1;
  volatile sig_atomic_t interrupt = 0;
  int fill_type = 1, fill_density = 5, fill_angle = 0;
  int datawarn = 1;
};

// cmin and cmax when unset: no value lies beyond them.
constexpr float kNoLevelBound = std::numeric_limits<float>::infinity();

// The options each plot restores ("clear", and reset after it).
struct plot_options {
  std::string clab_format;  // empty: none
  float rbrange[2] = {};
  float cmin = -kNoLevelBound, cmax = kNoLevelBound;
  float cint = 0;
  int clevs_count = 0;
  int ccols_count = 0;
  int ccolor = -9;
  int cstyle = -9;
  int cthick = 3;
  int cmark = -9;
  int vrange_set = 0, vrange2_set = 0;
  int arrscl_set = 0;
  int hempref = -1;
  int gridln = -9;
  int xaxis_set = 0, yaxis_set = 0;
  int xyrev = 0, xflip = 0, yflip = 0;
  int black_set = 0;
  int xlpos_side = 0, ylpos_side = 0, ylpos_set = 0;
  float xlpos_offset = 0, ylpos_offset = 0;
  float ylpos_work = 0;  // widest left-side y label so far (inches)
  int xlevs_count = 0, ylevs_count = 0;
  float xlint = 0, ylint = 0;
  std::string xlab_format, ylab_format;  // empty: none
  // Label texts separated by NULs; empty: none.
  std::string xlabs_list, ylabs_list;
  int xlabs_count = 0, ylabs_count = 0;
  int tlsupp = 0;
  int logo = 1;
  int fill_set = 0;
};

// What each new frame restores: the passes drawn on it and the last plot.
struct frame_record {
  int frame_pass = 0;
  int kind_pass[10] = {};
  int shade_count = 0;
  plot_code last_plot_code = plot_code::clear;
  int last_plot_idim = -1, last_plot_jdim = -1;
};

// "set lats" settings and the ids of the output in progress; reset restores them.
struct lats_settings {
  char lats_parmtab_file[257] = "";
  int lats_convention = 3;
  int lats_frequency = -1;
  int lats_calendar = 0x1111;
  int lats_deltat = 0;
  char lats_model[257] = "Unknown1 LATS model";
  char lats_comment[257] = "Written using the Vemra-LATS interface";
  char lats_center[33] = "PCMDI";
  char lats_output[257] = "vemra.lats";
  int lats_basetime_ymdh[4] = {-1, -1, -1, -1};
  char lats_vertdim[33] = "plev";
  double lats_levels[128] = {};
  int lats_level_count = -1;
  int lats_gridtype = 2;
  char lats_gridname[65] = "grid1";
  char lats_var_name[33] = "unknown1";
  char lats_varcomment[257] = "Unknown1 variable comment";
  int lats_timestat = 2;
  double lats_level = -1e20;
  int lats_timeoption = 1;
  int lats_fhour = -1;
  // The grid the bridge last declared, for "query lats".
  int lats_lon_linear = 0, lats_lat_linear = 0, lats_nlon = 0, lats_nlat = 0;
  float lats_first_lon = 0, lats_first_lat = 0, lats_last_lon = 0, lats_last_lat = 0;
  int lats_max_file_id = -1, lats_max_level_id = 0, lats_max_grid_id = -1, lats_max_var_id = -1;
  int lats_file_id = 0, lats_var_id = 0, lats_grid_id = 0, lats_level_id = 0;
  int lats_write_armed = 0;
};

// The session, grouped by lifetime; fields are reached directly (pcm->cint).
struct session_state : session_kept, session_options, plot_options, frame_record, lats_settings {};

// The one session of the process.
extern session_state* gcmn;

// Every default set at start-up and by "reset": restores all but session_kept
// and derives the real page and plot extent from the page size.
void kainit();
// Per-frame clean-up (frame_record, the last plot's conversions); full also
// restores plot_options.
void kacln(session_state* pcm, int full);
// The interrupt flag (0 or 1), polled by long operations.
int kaqsig();
// Runs a shell command line and returns its wait status. The process
// ignores SIGINT while the shell runs, so a Ctrl-C reaches only the shell;
// when that ended it, it is passed on here as if it had come here.
int kashell(const std::string& command);

// Records conversion slot k (0..3, see last_plot_scaling_record) of the last
// plot, copying nwords of its scaling array.
void kasetlp(session_state* pcm, int k, dimension_op op, const float* scaling, size_t nwords);
