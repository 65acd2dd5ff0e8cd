// Session state defaults and the per-frame clean-up.
#include "base/session.h"

#include "base/mfcmn.h"

#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {
session_state the_session;
}

session_state* gcmn = &the_session;

session_options::session_options() {
  mpdset[0] = "lowres";
  std::fill(std::begin(map_colour), std::end(map_colour), -9);
  map_colour[0] = map_colour[1] = map_colour[2] = -1;
  std::fill(std::begin(map_style), std::end(map_style), 1);
  std::fill(std::begin(map_thick), std::end(map_thick), 3);
}

void kainit() {
  session_state* s = gcmn;
  static_cast<session_options&>(*s) = session_options{};
  static_cast<plot_options&>(*s) = plot_options{};
  static_cast<frame_record&>(*s) = frame_record{};
  static_cast<lats_settings&>(*s) = lats_settings{};
  s->real_page_width = s->page_width;
  s->real_page_height = s->page_height;
  s->plot_x_low = 0;
  s->plot_x_high = s->page_width;
  s->plot_y_low = 0;
  s->plot_y_high = s->page_height;
  mfcmn_init();
}

void kacln(session_state* pcm, int full) {
  static_cast<frame_record&>(*pcm) = frame_record{};
  for (auto& c : pcm->last_plot_scaling.conv) c = nullptr;
  if (pcm->ylpos_set == 0) pcm->ylpos_work = 0;
  if (full) static_cast<plot_options&>(*pcm) = plot_options{};
  // A value axis kept from a plot belongs to its frame; one the user set
  // stays until the options are reset.
  if (pcm->vrange_set != -1) {
    pcm->vrange_set = 0;
    for (float& v : pcm->vrange) v = 0;
  }
}

int kaqsig() { return gcmn->interrupt ? 1 : 0; }

int kashell(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) std::raise(SIGINT);
  return status;
}

void kasetlp(session_state* pcm, int k, dimension_op op, const float* scaling, size_t nwords) {
  if (k < 0 || k > 3) return;
  auto& lp = pcm->last_plot_scaling;
  lp.conv[k] = op;
  if (scaling && nwords > 0)
    lp.scaling[k].assign(scaling, scaling + nwords);
  else
    lp.scaling[k].clear();
}
