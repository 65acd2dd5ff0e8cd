// Plot start and dispatcher: one plot or output routine per display result,
// chosen by the output type and by the dimensions the result varies in.
#include <string>
#include <utility>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "base/words.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"
#include "plot/plottype.h"
#include "plot/plotvec.h"
#include "plot/station.h"

namespace {

lats_bridge_fn lats_bridge = nullptr;

// Set when the plot routine of the running display recorded its plot.
bool plot_recorded = false;

// Set when the output of the running display was refused or not written.
bool output_refused = false;

// The command layer installs the bridge at start-up.
void lats_out(session_state* pcm, lats_output what) {
  if (lats_bridge && lats_bridge(pcm, what) != 0) kaplot_refuse();
}

// The output types. A word may set several fields; each row names the
// routine that draws a display whose shape reads that field.
const plot_type rows[] = {
    // word, field, code, plot, "q gxinfo" name, routine
    {"contour", output_field::field, output_contour, plot_code::contour, "Contour",
     [](session_state* p, plot_code c) { kacntr(p, contour_mode::lines, c); }},
    {"shaded", output_field::field, output_shaded, plot_code::shaded, "Shaded",
     [](session_state* p, plot_code c) { kacntr(p, contour_mode::shaded, c); }},
    {"grid", output_field::field, output_grid, plot_code::grid_values, "Grid", kaplvl},
    {"grid", output_field::field_vector, output_vector_grid, plot_code::grid_values, "Grid",
     kaplvl},
    {"vector", output_field::line_vector, output_line_vector, plot_code::clear, nullptr, nullptr},
    {"vector", output_field::field_vector, output_vector, plot_code::vector, "Vector",
     [](session_state* p, plot_code c) { kavect(p, vector_mode::arrows, c); }},
    {"vector", output_field::station, output_station_vector, plot_code::station_value, "Value",
     kapstn},
    {"scatter", output_field::field_vector, output_scatter, plot_code::vector, "Vector", kascat},
    {"fgrid", output_field::field, output_fgrid, plot_code::fgrid, "Fgrid", kafgrd},
    {"fwrite", output_field::field, output_fwrite, plot_code::fwrite, "Fwrite", kafwrt, true},
    {"latsgrid", output_field::field, output_latsgrid, plot_code::clear, nullptr,
     [](session_state* p, plot_code) { lats_out(p, lats_output::grid); }, true},
    {"latsdata", output_field::field, output_latsdata, plot_code::clear, nullptr,
     [](session_state* p, plot_code) { lats_out(p, lats_output::data); }, true},
    {"stream", output_field::field_vector, output_stream, plot_code::stream, "Stream", kastrm},
    {"grfill", output_field::field, output_grfill, plot_code::grid_fill, "GrFill",
     [](session_state* p, plot_code c) { kacntr(p, contour_mode::fill, c); }},
    {"pgrid", output_field::field, output_pgrid, plot_code::grid_fill, "GrFill",
     [](session_state* p, plot_code c) { kacntr(p, contour_mode::fill, c); }},
    {"value", output_field::station, output_station_value, plot_code::station_value, "Value",
     kapstn},
    {"barb", output_field::line_vector, output_line_barb, plot_code::clear, nullptr, nullptr},
    {"barb", output_field::field_vector, output_barb, plot_code::barb, "Barb",
     [](session_state* p, plot_code c) { kavect(p, vector_mode::barbs, c); }},
    {"barb", output_field::station, output_station_barb, plot_code::station_value, "Value", kapstn},
    {"findstn", output_field::station, output_findstn, plot_code::findstn, "Fstn", kafstn},
    {"model", output_field::station, output_station_model, plot_code::station_model, "Model",
     kapmdl},
    {"wxsym", output_field::station, output_wxsym, plot_code::wxsym, "Wxsym", kawsym},
    {"stnmark", output_field::station, output_stnmark, plot_code::wxsym, "Wxsym", kasmrk},
    {"line", output_field::line, output_line, plot_code::line, "Line",
     [](session_state* p, plot_code c) { kagrph(p, graph_kind::line, c); }},
    {"line", output_field::series, output_series_plain, plot_code::time_series, "Line", katser},
    {"bar", output_field::line, output_bar, plot_code::bar, "Bar",
     [](session_state* p, plot_code c) { kagrph(p, graph_kind::bar, c); }},
    {"errbar", output_field::line, output_errbar, plot_code::bar, "Bar",
     [](session_state* p, plot_code c) { kagrph(p, graph_kind::error_bar, c); }},
    {"linefill", output_field::line, output_linefill, plot_code::line_fill, "LineFill", kalfil},
    {"stat", output_field::general, output_stat, plot_code::clear, nullptr,
     [](session_state* p, plot_code) { kastts(p); }},
    {"print", output_field::general, output_print, plot_code::clear, nullptr,
     [](session_state* p, plot_code) { kadprnt(p); }},
    {"writegds", output_field::general, output_writegds, plot_code::clear, nullptr,
     [](session_state* p, plot_code) { kaoutgds(p); }},
    {"tserwx", output_field::series, output_series_wx, plot_code::time_series, "Line", katser},
    {"tserbarb", output_field::series, output_series_barb, plot_code::time_series, "Line", katser},
    {nullptr, output_field::profile, 0, plot_code::profile, "Line", kapprf},
};

// Runs the routine of the row with code in field; false when there is none.
bool draw(session_state* pcm, output_field field, int code) {
  const plot_type* t = plot_type_of(field, code);
  if (!t || !t->handler) return false;
  t->handler(pcm, t->plot);
  return true;
}

void station_plot(session_state* pcm) {
  const station_set* s = held_stations(pcm, 0);
  if (s->idim == 0 && s->jdim == 1)
    draw(pcm, output_field::station, pcm->gxout_station);
  else if (s->idim == 2 && s->jdim == -1)
    draw(pcm, output_field::profile, 0);
  else if (s->idim == 3 && s->jdim == -1)
    draw(pcm, output_field::series, pcm->gxout_sub);
  else {
    kaprnt(msg_level::error, "Invalid stn data dimension environment\n");
    kaplot_refuse();
  }
}

void grid_plot(session_state* pcm) {
  grid_field* g = held_grid(pcm, 0);
  const plot_type* out = plot_type_of(output_field::field, pcm->gxout_2d);
  if (out && out->any_shape && (g->jdim == -1 || pcm->result_count == 1)) {
    out->handler(pcm, out->plot);
    return;
  }
  if (g->idim == -1) {
    kaprntf(msg_level::result, "Result value = %g \n", double(g->values[0]));
    return;
  }
  if (g->jdim == -1) {
    // Two or more 1-D results under scatter make a scatter plot.
    if (pcm->gxout_2d_vector == output_scatter && pcm->result_count >= 2)
      draw(pcm, output_field::field_vector, output_scatter);
    else
      draw(pcm, output_field::line, pcm->gxout_1d);
    return;
  }
  if (pcm->result_count == 1)
    draw(pcm, output_field::field, pcm->gxout_2d);
  else
    draw(pcm, output_field::field_vector, pcm->gxout_2d_vector);
}

}  // namespace

std::span<const plot_type> plot_types() { return rows; }

const plot_type* plot_type_of(output_field field, int code) {
  for (const plot_type& t : rows)
    if (t.field == field && t.code == code) return &t;
  return nullptr;
}

bool set_plot_type(session_state* pcm, const char* word) {
  bool found = false;
  general_output general = output_plot;
  for (const plot_type& t : rows) {
    if (!t.word || !cmpwrd(t.word, word)) continue;
    found = true;
    switch (t.field) {
      case output_field::general: general = static_cast<general_output>(t.code); break;
      case output_field::line: pcm->gxout_1d = static_cast<line_output>(t.code); break;
      case output_field::line_vector:
        pcm->gxout_1d_vector = static_cast<line_vector_output>(t.code);
        break;
      case output_field::field: pcm->gxout_2d = static_cast<field_output>(t.code); break;
      case output_field::field_vector:
        pcm->gxout_2d_vector = static_cast<field_vector_output>(t.code);
        break;
      case output_field::station: pcm->gxout_station = static_cast<station_output>(t.code); break;
      case output_field::series: pcm->gxout_sub = static_cast<series_output>(t.code); break;
      case output_field::profile: break;
    }
  }
  pcm->gxout_general = general;
  return found;
}

const char* plot_code_name(plot_code code) {
  if (code == plot_code::clear) return "Clear";
  for (const plot_type& t : rows)
    if (t.plot == code && t.name) return t.name;
  return "";
}

void kagx(session_state* pcm) {
  gxstrt(pcm->page_width, pcm->page_height, pcm->batch != 0);
  pcm->frame_pass = 0;
  pcm->ccolor = -9;
  pcm->cint = 0;
  pcm->cstyle = -9;
  pcm->cthick = 3;
  pcm->shade_count = 0;
  pcm->last_plot_code = plot_code::clear;
  pcm->last_plot_idim = pcm->last_plot_jdim = -1;
  for (auto& c : pcm->last_plot_scaling.conv) c = nullptr;
}

void kaplot_lats(lats_bridge_fn bridge) { lats_bridge = bridge; }

void kaplot_refuse() { output_refused = true; }

bool kaplot_refused() { return output_refused; }

void kagsav(plot_code code, session_state* pcm) {
  pcm->last_plot_code = code;
  plot_recorded = true;
}

int kaaddres(session_state* pcm, grid_ptr grid) {
  if (held_count(pcm) >= kMaxResults) {
    kaprntf(msg_level::error, "DISPLAY error:  more than %i results in one display\n", kMaxResults);
    return 1;
  }
  hold_result(pcm, std::move(grid));
  return 0;
}

bool kaplot(session_state* pcm) {
  plot_recorded = false;
  output_refused = false;
  release_held(pcm, pcm->result_count);
  if (pcm->result_count < 1) return false;
  // A flipped axis is drawn on a scaled map for this plot only: the session's
  // projection comes back however the plot ends, also when it runs out of memory.
  struct projection_scope {
    session_state* pcm;
    const map_projection kept;
    ~projection_scope() { pcm->mproj = kept; }
  } scope{pcm, pcm->mproj};
  if (scope.kept != map_projection::off && scope.kept != map_projection::scaled &&
      (pcm->xflip || pcm->yflip))
    pcm->mproj = map_projection::scaled;
  if (!draw(pcm, output_field::general, pcm->gxout_general)) {
    if (pcm->stat) kastts(pcm);
    if (!held_grid(pcm, 0))
      station_plot(pcm);
    else
      grid_plot(pcm);
  }
  return plot_recorded;
}
