// Output kinds chosen by "set gxout": one code per kind of result, kept in
// the session and read when a display is plotted. The numbers are the
// session's stored values.
#pragma once

// What a display does with its results as a whole.
enum general_output : int {
  output_plot = 0,      // draw them (statistics first with "set stat on")
  output_stat = 1,      // statistics only
  output_print = 2,     // print the values
  output_writegds = 3,  // write the grid to the writegds file
};

// Plot of one result that varies in one dimension.
enum line_output : int {
  output_line = 1,      // line graph
  output_bar = 2,       // bar graph
  output_errbar = 3,    // error bars
  output_linefill = 4,  // area between two lines filled
};

// Plot of two results that vary in one dimension.
enum line_vector_output : int {
  output_line_vector_unset = 0,  // none chosen yet
  output_line_vector = 1,        // arrows along the line
  output_line_barb = 2,          // wind barbs along the line
};

// Plot of one result that varies in two dimensions.
enum field_output : int {
  output_contour = 1,    // contour lines
  output_shaded = 2,     // shaded contours
  output_grid = 3,       // the value printed at each grid point
  output_fgrid = 6,      // grid cells of chosen values filled
  output_fwrite = 7,     // grid written to the fwrite file
  output_grfill = 10,    // every grid cell filled by its value
  output_pgrid = 11,     // grid cells with their values
  output_latsgrid = 20,  // grid handed to the LATS writer
  output_latsdata = 21,  // data handed to the LATS writer
};

// Plot of two or more results that vary in two dimensions.
enum field_vector_output : int {
  output_vector_grid = 3,  // the values printed at each grid point
  output_vector = 4,       // arrows
  output_scatter = 5,      // scatter plot of one result against the other
  output_stream = 8,       // streamlines
  output_barb = 9,         // wind barbs
};

// Plot of station data.
enum station_output : int {
  output_station_value = 1,   // values around the station mark
  output_station_barb = 2,    // wind barbs
  output_findstn = 3,         // the station nearest a point
  output_station_model = 4,   // station model
  output_wxsym = 5,           // weather symbols
  output_station_vector = 6,  // arrows
  output_stnmark = 7,         // station marks only
};

// Time-series variant of a line plot.
enum series_output : int {
  output_series_plain = 0,  // an ordinary line plot
  output_series_wx = 1,     // weather symbols along time
  output_series_barb = 2,   // barbs along time
};

// What the last graphic of a frame was, as "q gxinfo" reads it back; kept
// by the plot that drew it (clear on a new frame).
enum class plot_code : int {
  clear = 0,
  contour = 1,
  shaded = 2,
  vector = 3,
  grid_values = 4,
  fgrid = 5,
  line = 6,
  bar = 8,
  stream = 9,
  station_value = 10,
  station_model = 11,
  wxsym = 12,
  profile = 13,
  time_series = 14,
  barb = 15,
  grid_fill = 16,
  line_fill = 17,
  fwrite = 20,
  findstn = 21,
};
