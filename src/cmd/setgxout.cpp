// "set" keywords of the output type and the non-graphic output files:
// gxout, fwrite, writegds, imprun, stat, stnprint and prnopts.
#include <cstring>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "base/userfmt.h"

using namespace setopt;

namespace {

// Marks a field that a word leaves alone.
constexpr int keep = -1;

struct gxout_word {
  const char* word;
  general_output general;
  // The other fields it sets, or keep.
  int one_d, one_d_vector, two_d, two_d_vector, station, sub;
};

const gxout_word gxout_words[] = {
    {"contour", output_plot, keep, keep, output_contour, keep, keep, keep},
    {"shaded", output_plot, keep, keep, output_shaded, keep, keep, keep},
    {"grid", output_plot, keep, keep, output_grid, output_vector_grid, keep, keep},
    {"vector", output_plot, keep, output_line_vector, keep, output_vector, output_station_vector,
     keep},
    {"scatter", output_plot, keep, keep, keep, output_scatter, keep, keep},
    {"fgrid", output_plot, keep, keep, output_fgrid, keep, keep, keep},
    {"fwrite", output_plot, keep, keep, output_fwrite, keep, keep, keep},
    {"latsgrid", output_plot, keep, keep, output_latsgrid, keep, keep, keep},
    {"latsdata", output_plot, keep, keep, output_latsdata, keep, keep, keep},
    {"stream", output_plot, keep, keep, keep, output_stream, keep, keep},
    {"grfill", output_plot, keep, keep, output_grfill, keep, keep, keep},
    {"pgrid", output_plot, keep, keep, output_pgrid, keep, keep, keep},
    {"value", output_plot, keep, keep, keep, keep, output_station_value, keep},
    {"barb", output_plot, keep, output_line_barb, keep, output_barb, output_station_barb, keep},
    {"findstn", output_plot, keep, keep, keep, keep, output_findstn, keep},
    {"model", output_plot, keep, keep, keep, keep, output_station_model, keep},
    {"wxsym", output_plot, keep, keep, keep, keep, output_wxsym, keep},
    {"stnmark", output_plot, keep, keep, keep, keep, output_stnmark, keep},
    {"line", output_plot, output_line, keep, keep, keep, keep, output_series_plain},
    {"bar", output_plot, output_bar, keep, keep, keep, keep, keep},
    {"errbar", output_plot, output_errbar, keep, keep, keep, keep, keep},
    {"linefill", output_plot, output_linefill, keep, keep, keep, keep, keep},
    {"stat", output_stat, keep, keep, keep, keep, keep, keep},
    {"print", output_print, keep, keep, keep, keep, keep, keep},
    {"writegds", output_writegds, keep, keep, keep, keep, keep, keep},
    {"tserwx", output_plot, keep, keep, keep, keep, keep, output_series_wx},
    {"tserbarb", output_plot, keep, keep, keep, keep, keep, output_series_barb},
};

template <class Code>
void put(Code& field, int v) {
  if (v != keep) field = static_cast<Code>(v);
}

}  // namespace

int set_gxout(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  for (const gxout_word& w : gxout_words) {
    if (!cmpwrd(w.word, p)) continue;
    session_state* s = a.pcm;
    s->gxout_general = w.general;
    put(s->gxout_1d, w.one_d);
    put(s->gxout_1d_vector, w.one_d_vector);
    put(s->gxout_2d, w.two_d);
    put(s->gxout_2d_vector, w.two_d_vector);
    put(s->gxout_station, w.station);
    put(s->gxout_sub, w.sub);
    return 0;
  }
  // An unknown word still ends a stat, print or writegds output.
  a.pcm->gxout_general = output_plot;
  return set_error(a.code);
}

int set_fwrite(set_args& a) {
  session_state* s = a.pcm;
  if (s->fwrite_file) {
    kaprnt(msg_level::error, "SET FWrite Error:  fwrite file is open\n");
    kaprnt(msg_level::error, "Use DISABLE FWRITE command to close file\n");
    return 0;
  }
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    if (cmpwrd("-be", p)) s->fwrite_byte_order = 1;
    else if (cmpwrd("-le", p)) s->fwrite_byte_order = 0;
    else if (cmpwrd("-sq", p)) s->fwrite_sequential = 1;
    else if (cmpwrd("-st", p)) s->fwrite_sequential = 0;
    else {
      s->fwrite_name = word_at(typed_at(a, p));
      kaprntf(msg_level::result, "FWrite file name = %s\n", s->fwrite_name.c_str());
      kaprnt(msg_level::result, s->fwrite_byte_order ? "FWwrite byte order is big_endian; format is "
                                     : "FWwrite byte order is little_endian; format is ");
      kaprnt(msg_level::result, s->fwrite_sequential ? "sequential\n" : "stream\n");
      return 0;
    }
  }
  return set_error(a.code);
}

int set_writegds(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  // An option word comes first; the file name is the word after it, or the
  // first word when there is no option word.
  const char* q = p;
  if (*p == '-') {
    s->writegds.options = word_at(typed_at(a, p));
    q = nxtwrd(p);
  }
  if (!q) return set_error(a.code);
  s->writegds.name = word_at(typed_at(a, q));
  if (!s->writegds.options.empty())
    kaprntf(msg_level::result, "WRITEGDS file name = %s  Opts = %s\n", s->writegds.name.c_str(),
            s->writegds.options.c_str());
  else
    kaprntf(msg_level::result, "WRITEGDS file name = %s\n", s->writegds.name.c_str());
  return 0;
}

int set_imprun(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    s->imprun.clear();
    s->imprun_set = 0;
    kaprnt(msg_level::result, "IMPrun is off\n");
    return 0;
  }
  s->imprun = "run " + word_at(p);
  s->imprun_set = 1;
  kaprntf(msg_level::result, "Imprun file name = %s\n", s->imprun.c_str());
  return 0;
}

int set_stat(set_args& a) { return flag_switch(a, &a.pcm->stat); }

int set_stnprint(set_args& a) { return flag_switch(a, &a.pcm->stnprint); }

int set_prnopts(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  std::string format = word_at(typed_at(a, p));
  // The format reaches printf with a float: anything but one floating
  // conversion would read arguments that are not there.
  if (!kafmtok(format.c_str())) {
    kaprntf(msg_level::error, "SET PRNOPTS error:  format %s needs exactly one floating conversion\n",
            format.c_str());
    return set_error(a.code);
  }
  s->prnopts_format = format;
  if (!(p = nxtwrd(p))) return 0;
  int count;
  if (!intprs(p, &count) || count < 1) return set_error(a.code);
  s->prnopts_count = count;
  if (!(p = nxtwrd(p))) return 0;
  int blanks;
  if (!intprs(p, &blanks) || blanks < 0 || blanks > 1000) return set_error(a.code);
  s->prnopts_blanks = blanks;
  if (!(p = nxtwrd(p))) return 0;
  s->prnopts_undef = *p == 'u' ? 1 : 0;
  return 0;
}
