// The "display" command: evaluation of an expression list into the session's
// results, one plot, or one frame per step of the looping dimension.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "cmd/display.h"

#include "base/alloc.h"
#include "cmd/commands.h"
#include "cmd/dispatch.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "data/held.h"
#include "expr/eval.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"

namespace {

// Default contour colour by plot pass: rainbow first, then single colours.
constexpr int dcolor[10] = {-1, 1, 3, 7, 2, 6, 9, 10, 11, 12};

void reset_one_plot(session_state* pcm) {
  pcm->ccolor = pcm->cstyle = pcm->cmark = -9;
  pcm->cint = 0;
  pcm->clevs_count = 0;
  pcm->ccols_count = 0;
  pcm->cmin = -kNoLevelBound;
  pcm->cmax = kNoLevelBound;
  pcm->black_set = 0;
  pcm->rbrange[0] = pcm->rbrange[1] = 0;
  pcm->arrscl_set = 0;
  pcm->fill_set = 0;
}

int auto_mark(int frame_pass) {
  int m = frame_pass + 2;
  while (m > 5) m -= 5;
  return m;
}

int animate(eval_state* pst, const std::string& expr, session_state* pcm, int nvary) {
  pcm->map_colour_auto = 15;
  if (pcm->ccolor == -9) pcm->ccolor = (nvary < 2 || pcm->display_grey) ? 1 : -1;
  if (pcm->cmark == -9) pcm->cmark = auto_mark(pcm->frame_pass);
  file_descriptor* f = pcm->default_file;
  const int d = pcm->loopdim;
  if (holds_stations(f) && d != 3) {
    kaprnt(msg_level::error, "Display command error:  Invalid looping environment\n");
    kaprnt(msg_level::error, "  Cannot loop on stn data through X, Y, or Z\n");
    return 1;
  }
  double g1, g2;
  if (d == 3) {
    g1 = t2gr_exact(f->grid_to_world_scaling[3], &pcm->time_start);
    g2 = t2gr_exact(f->grid_to_world_scaling[3], &pcm->time_end);
  } else {
    const float lo = pcm->dim_min[d], hi = pcm->dim_max[d];
    const world_use use = world_use_of(lo, hi);
    g1 = world_grid(f, d, lo, use);
    g2 = world_grid(f, d, hi, use);
  }
  // A looping range far beyond the file (or undefined) is held to grid
  // positions an int keeps; those frames then fail as out of the file.
  auto bound = [](double g) {
    constexpr double lim = 1.0e9;
    return !(g >= -lim) ? -lim : (g > lim ? lim : g);
  };
  // The frames are the points a read of the range takes.
  const int first = static_cast<int>(bound(range_first(g1)));
  const int last = static_cast<int>(bound(range_last(g2)));
  gxfrme(frame_action::double_buffer);
  pcm->frame_pass = 0;
  const int clab = pcm->clab;
  // An interrupted or failed animation leaves double buffering, so the
  // window shows what was drawn; the plot options stay as they were.
  auto stop = [&]() {
    pcm->clab = clab;
    gxfrme(frame_action::clear);
    pcm->dbuff = 0;
    pcm->frame_pass = 0;
    return 1;
  };
  // A frame whose output was refused fails the command; the others still run.
  // A grid no memory holds ends the animation as an interrupt does.
  bool refused = false;
  try {
    for (int g = first; g <= last; g++) {
      if (kaqsig()) return stop();
      char label[64];
      if (d == 3) {
        date_time t;
        gr2t(f->grid_to_world_scaling[3], g, &t);
        pst->time_start = pst->time_end = t;
        std::snprintf(label, sizeof label, "%li:%li:%li:%li", long(t.year), long(t.month),
                      long(t.day), long(t.hour));
      } else {
        float w = f->grid_to_world[d](f->grid_to_world_scaling[d], float(g));
        pst->dim_min[d] = pst->dim_max[d] = w;
        std::snprintf(label, sizeof label, "%g", double(w));
      }
      if (kapars(expr.c_str(), pst, pcm)) return stop();
      pcm->clab = g == last ? clab : 0;
      kaplot(pcm);
      refused = refused || kaplot_refused();
      const int len = static_cast<int>(std::string(label).size());
      gxwide(1);
      gxchpl(label, len, pcm->page_width - static_cast<float>(len) * 0.11f - 0.02f, 0.02f, 0.13f,
             0.11f, 0);
      gxfrme(frame_action::double_buffer);
      kagrel(pcm);
      pcm->vrange_set = pcm->vrange2_set = -1;
    }
  } catch (const memory_refusal&) {
    stop();
    throw;
  }
  pcm->clab = clab;
  std::fputs("Press enter to continue::::: ", stdout);
  std::fflush(stdout);
  gxfrme(frame_action::wait);
  // Without a window nothing was read and the text is left open; a line
  // typed at a terminal was ended by its echo.
  kasetlineopen(pcm->batch != 0 || !isatty(STDIN_FILENO));
  pcm->dbuff = 0;
  pcm->frame_pass = 0;
  reset_one_plot(pcm);
  pcm->vrange_set = pcm->vrange2_set = 0;
  pcm->xaxis_set = pcm->yaxis_set = 0;
  pcm->logo = 1;
  return refused ? 1 : 0;
}

}  // namespace

int kadcolor(int plot_pass) {
  if (plot_pass < 0) plot_pass = 0;
  if (plot_pass < 10) return dcolor[plot_pass];
  // Passes beyond the table keep cycling through its single colours.
  return dcolor[1 + (plot_pass - 1) % 9];
}

void kagrel(session_state* pcm) {
  release_held(pcm);
  pcm->result_count = 0;
}

int kapars(const char* expressions, eval_state* pst, session_state* pcm) {
  std::vector<std::string> parts(1);
  for (const char* p = expressions; *p && *p != '\n'; p++) {
    if (*p == ';')
      parts.emplace_back();
    else
      parts.back() += *p;
  }
  const int n = static_cast<int>(parts.size());
  kagrel(pcm);
  if (n > kMaxResults) {
    kaprntf(msg_level::error,
            "DISPLAY error:  %i expressions; at most %i can be displayed at once\n", n,
            kMaxResults);
    return 1;
  }
  for (int k = 0; k < n; k++) {
    pst->result = std::monostate{};
    int rc;
    try {
      rc = kaexpr(parts[k].c_str(), pst);
      if (rc == 0 && kaqsig()) {
        kafree(pst);
        rc = 1;
      }
      if (rc == 0) {
        // Held at once, so that a failure of a later part releases this one too.
        hold_result(pcm, std::exchange(pst->result, std::monostate{}));
      }
    } catch (const std::bad_alloc&) {
      kagrel(pcm);
      throw;
    }
    if (rc) {
      kaprnt(msg_level::error, "DISPLAY error:  Invalid expression \n");
      kaprnt(msg_level::error, "  Expression = " + parts[k] + "\n");
      kagrel(pcm);
      return 1;
    }
  }
  pcm->result_count = n;
  return 0;
}

std::string kaexprline(const char* p) {
  std::string text = p;
  if (auto nl = text.find('\n'); nl != std::string::npos) text.resize(nl);
  text.resize(static_cast<size_t>(karemb(text.data())));
  return text;
}

namespace {

// What a refusal calls each bound of the memory left.
constexpr struct {
  memory_bound bound;
  const char* says;
} kBoundWords[] = {
    {memory_bound::machine, "this machine has"},
    {memory_bound::address_space, "the process's address-space limit leaves"},
    {memory_bound::data_size, "the process's data-size limit leaves"},
    {memory_bound::control_group, "its control group's memory limit leaves"},
};

// A size in MB below a GB and in GB from there, with `more` decimals than
// usual.
std::string size_text(double bytes, int more) {
  constexpr double mb = 1024.0 * 1024.0;
  char text[64];
  if (std::round(bytes / mb) < 1024)
    std::snprintf(text, sizeof text, "%.*f MB", more, bytes / mb);
  else
    std::snprintf(text, sizeof text, "%.*f GB", 1 + more, bytes / (1024 * mb));
  return text;
}

}  // namespace

void kasay_refused(const char* command, const memory_refusal& r) {
  kaprntf(msg_level::error, "%s error:  grid of %.0f points too large for memory\n", command,
          r.points);
  // Two sizes that differ never read alike.
  std::string need, left;
  for (int more = 0; more < 10; more++) {
    need = size_text(r.bytes, more);
    left = size_text(r.room, more);
    if (need != left || r.bytes == r.room) break;
  }
  const char* says = kBoundWords[0].says;
  for (const auto& w : kBoundWords)
    if (w.bound == r.bound) says = w.says;
  kaprntf(msg_level::error, "  It needs about %s; %s %s\n", need.c_str(), says, left.c_str());
}

namespace {

int display(char* line, session_state* pcm) {
  if (pcm->imprun_set && !nesting().in_imprun) {
    // Lowered on every way out, also when the script runs out of memory.
    struct imprun_scope {
      imprun_scope() { nesting().in_imprun = true; }
      ~imprun_scope() { nesting().in_imprun = false; }
      imprun_scope(const imprun_scope&) = delete;
      imprun_scope& operator=(const imprun_scope&) = delete;
    } scope;
    kacmd(pcm->imprun.c_str(), pcm, false);
  }
  const char* p = nxtwrd(static_cast<const char*>(line));
  if (!p) {
    kaprnt(msg_level::error, "Display command error:  No expression provided\n");
    return 1;
  }
  std::string text = kaexprline(p);
  eval_state_ptr pst = getpst(pcm);
  if (!pst) return 1;
  int nvary = 0;
  for (int d = 0; d < 4; d++)
    if (pcm->dim_varying[d]) nvary++;
  const bool looping = pcm->looping || nvary > 2;
  int rc = 0;
  if (looping) {
    rc = animate(pst.get(), text, pcm, nvary);
  } else {
    pcm->map_colour_auto = 8;
    if (pcm->ccolor == -9)
      pcm->ccolor =
          kadcolor(nvary == 2 && !pcm->display_grey ? pcm->frame_pass : pcm->frame_pass + 1);
    if (pcm->cmark == -9) pcm->cmark = auto_mark(pcm->frame_pass);
    if (pcm->ccolor < 0 || pcm->display_grey) pcm->map_colour_auto = 15;
    if (kapars(text.c_str(), pst.get(), pcm)) {
      rc = 1;
    } else {
      // The held results are released however the plot ends.
      struct release_held_results {
        session_state* pcm;
        ~release_held_results() { kagrel(pcm); }
      } held{pcm};
      // Only a plot drawn counts as a pass of the frame.
      const bool drawn = kaplot(pcm);
      // Drawing stops at an interrupt; what was drawn stays, the command fails.
      if (kaqsig()) {
        kaprnt(msg_level::error, "DISPLAY error:  interrupted\n");
        rc = 1;
      }
      // An output refused or not written: the display did nothing asked of it.
      if (kaplot_refused()) rc = 1;
      if (drawn) pcm->frame_pass++;
      reset_one_plot(pcm);
    }
  }
  return rc;
}

}  // namespace

// A grid refused for want of memory fails the display alone: what it held is
// released and the session goes on.
int kadspl(char* line, session_state* pcm) {
  try {
    return display(line, pcm);
  } catch (const memory_refusal& r) {
    kagrel(pcm);
    kasay_refused("DISPLAY", r);
    return 1;
  }
}
