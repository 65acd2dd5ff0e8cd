// Session state defaults and the per-frame clean-up.
#include "base/session.h"

#include "base/mfcmn.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
session_state the_session;
}

session_state* gcmn = &the_session;

namespace {

void lats_defaults(session_state* s) {
  std::strcpy(s->lats_model, "Unknown1 LATS model");
  std::strcpy(s->lats_comment, "Written using the Vemra-LATS interface");
  std::strcpy(s->lats_center, "PCMDI");
  std::strcpy(s->lats_output, "vemra.lats");
  std::strcpy(s->lats_vertdim, "plev");
  std::strcpy(s->lats_gridname, "grid1");
  std::strcpy(s->lats_var_name, "unknown1");
  std::strcpy(s->lats_varcomment, "Unknown1 variable comment");
}

void map_defaults(session_state* s) {
  s->mpdset[0] = "lowres";
  std::fill(std::begin(s->map_colour), std::end(s->map_colour), -9);
  s->map_colour[0] = s->map_colour[1] = s->map_colour[2] = -1;
  std::fill(std::begin(s->map_style), std::end(s->map_style), 1);
  std::fill(std::begin(s->map_thick), std::end(s->map_thick), 3);
}

}  // namespace

void kainit() {
  session_state* s = gcmn;
  session_state d;  // every default kainit restores
  lats_defaults(&d);
  map_defaults(&d);

  // What kainit leaves alone: files, defined variables, the environment, the
  // page size, the start-up choices, fwrite, and the plot layer's fields.
  d.frame_pass = s->frame_pass;
  d.looping = s->looping;
  d.loopincr = s->loopincr;
  d.file_list = s->file_list;
  d.default_file = s->default_file;
  d.file_count = s->file_count;
  d.default_file_number = s->default_file_number;
  d.file_serial = s->file_serial;
  d.defined_list = s->defined_list;
  std::copy(std::begin(s->dim_min), std::end(s->dim_min), d.dim_min);
  std::copy(std::begin(s->dim_max), std::end(s->dim_max), d.dim_max);
  d.time_start = s->time_start;
  d.time_end = s->time_end;
  std::copy(std::begin(s->dim_varying), std::end(s->dim_varying), d.dim_varying);
  d.page_width = s->page_width;
  d.page_height = s->page_height;
  std::copy(std::begin(s->parea), std::end(s->parea), d.parea);
  std::copy(std::begin(s->shade_colours), std::end(s->shade_colours), d.shade_colours);
  std::copy(std::begin(s->shade_levels), std::end(s->shade_levels), d.shade_levels);
  d.shade_count = s->shade_count;
  d.ccolor = s->ccolor;
  d.cstyle = s->cstyle;
  d.cthick = s->cthick;
  std::copy(std::begin(s->vrange), std::end(s->vrange), d.vrange);
  std::copy(std::begin(s->vrange2), std::end(s->vrange2), d.vrange2);
  d.vrange2_set = s->vrange2_set;
  d.arrscl_size = s->arrscl_size;
  d.arrscl_magnitude = s->arrscl_magnitude;
  d.mdlopts_blank = s->mdlopts_blank;
  d.mdlopts_dig3 = s->mdlopts_dig3;
  std::copy(std::begin(s->xaxis_range), std::end(s->xaxis_range), d.xaxis_range);
  d.xaxis_incr = s->xaxis_incr;
  std::copy(std::begin(s->yaxis_range), std::end(s->yaxis_range), d.yaxis_range);
  d.yaxis_incr = s->yaxis_incr;
  d.map_colour_auto = s->map_colour_auto;
  d.display_grey = s->display_grey;
  d.display_white = s->display_white;
  std::copy(std::begin(s->xlevs), std::end(s->xlevs), d.xlevs);
  std::copy(std::begin(s->ylevs), std::end(s->ylevs), d.ylevs);
  d.gxout_sub = s->gxout_sub;
  d.barbase_value = s->barbase_value;
  d.fwrite_file = std::move(s->fwrite_file);
  d.fwrite_name = std::move(s->fwrite_name);
  d.fwrite_byte_order = s->fwrite_byte_order;
  d.fwrite_sequential = s->fwrite_sequential;
  d.batch = s->batch;
  d.result_held = s->result_held;
  std::copy(std::begin(s->result_type), std::end(s->result_type), d.result_type);
  std::copy(std::begin(s->result), std::end(s->result), d.result);
  d.last_plot_code = s->last_plot_code;
  d.last_plot_idim = s->last_plot_idim;
  d.last_plot_jdim = s->last_plot_jdim;
  d.last_plot_scaling = std::move(s->last_plot_scaling);
  d.imprun = std::move(s->imprun);

  // Derived from the page the caller has set.
  d.real_page_width = d.page_width;
  d.real_page_height = d.page_height;
  d.plot_x_low = 0;
  d.plot_x_high = d.page_width;
  d.plot_y_low = 0;
  d.plot_y_high = d.page_height;

  *s = std::move(d);
  mfcmn_init();
}

void kacln(session_state* pcm, int full) {
  pcm->frame_pass = 0;
  std::fill(std::begin(pcm->kind_pass), std::end(pcm->kind_pass), 0);
  if (pcm->ylpos_set == 0) pcm->ylpos_work = 0;
  pcm->shade_count = 0;
  pcm->last_plot_code = 0;
  pcm->last_plot_idim = pcm->last_plot_jdim = -1;
  for (auto& c : pcm->last_plot_scaling.conv) c = nullptr;
  if (!full) return;
  pcm->cstyle = pcm->ccolor = -9;
  pcm->cthick = 3;
  pcm->cmark = -9;
  pcm->cint = 0;
  pcm->clevs_count = 0;
  pcm->ccols_count = 0;
  pcm->cmin = -9.99e33f;
  pcm->cmax = 9.99e33f;
  pcm->black_set = 0;
  pcm->vrange_set = pcm->vrange2_set = 0;
  pcm->xaxis_set = pcm->yaxis_set = 0;
  pcm->gridln = -9;
  pcm->rbrange[0] = pcm->rbrange[1] = 0;
  pcm->logo = 1;
  pcm->arrscl_set = 0;
  pcm->hempref = -1;
  pcm->xyrev = pcm->xflip = pcm->yflip = 0;
  pcm->xlab_format.clear();
  pcm->ylab_format.clear();
  pcm->clab_format.clear();
  pcm->xlabs_list.clear();
  pcm->ylabs_list.clear();
  pcm->xlabs_count = pcm->ylabs_count = 0;
  pcm->xlint = pcm->ylint = 0;
  pcm->xlevs_count = pcm->ylevs_count = 0;
  pcm->xlpos_offset = pcm->ylpos_offset = 0;
  pcm->ylpos_set = 0;
  pcm->ylpos_work = 0;
  pcm->xlpos_side = pcm->ylpos_side = 0;
  pcm->tlsupp = 0;
  pcm->fill_set = 0;
}

int kaqsig() { return gcmn->interrupt ? 1 : 0; }

void kasetlp(session_state* pcm, int k, dimension_op op, const float* scaling, size_t nwords) {
  if (k < 0 || k > 3) return;
  auto& lp = pcm->last_plot_scaling;
  lp.conv[k] = op;
  if (scaling && nwords > 0) lp.scaling[k].assign(scaling, scaling + nwords);
  else lp.scaling[k].clear();
}
