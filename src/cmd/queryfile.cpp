// "query" keywords about the open data sets and the dimension environment:
// dims, time, file, files, ctlinfo.
#include <cstdlib>
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"

namespace {

const char* const dweek[8] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "???"};

// Time text: with minutes only when they are not zero.
std::string time_text(const date_time& t) { return kat2ch(t, t.minute ? 5 : 4); }

// The word after the keyword, as it is echoed in an error: its first
// characters up to a blank, newline or end, at most 19.
std::string echo_word(const char* p) {
  std::string w;
  while (*p && *p != ' ' && *p != '\t' && *p != '\n' && w.size() < 19) w += *p++;
  return w;
}

// The file named by an optional number after the keyword, or the default
// file. Null after the message; *rc is the code to return.
file_descriptor* pick_file(char* lower, session_state* pcm, const char* what, int* rc) {
  *rc = 1;
  if (!pcm->file_list) {
    kaprnt(msg_level::error, "No Files Open\n");
    return nullptr;
  }
  char* p = nxtwrd(lower);
  if (!p) return pcm->default_file;
  int n;
  char* q = intprs(p, &n);
  if (!q || !word_end(*q)) {
    kaprnt(msg_level::error,
           std::string("Invalid QUERY ") + what + " argument: " + echo_word(p) + " \n");
    return nullptr;
  }
  file_descriptor* pfi = n >= 1 ? pcm->file_list : nullptr;
  for (int i = 1; pfi && i < n; i++) pfi = pfi->next;
  if (!pfi) {
    kaprntf(msg_level::error, "QUERY %s Error:  file %i not open\n", what, n);
    return nullptr;
  }
  return pfi;
}

}  // namespace

int kaqdims(char*, char*, session_state* pcm) {
  file_descriptor* pfi = pcm->default_file;
  if (!pfi) {
    kaprnt(msg_level::error, "No files open\n");
    return 1;
  }
  kaprntf(msg_level::result, "Default file number is: %i \n", pcm->default_file_number);
  static const char* const upper[3] = {"X", "Y", "Z"};
  static const char* const world[3] = {"Lon", "Lat", "Lev"};
  for (int d = 0; d < 3; d++) {
    float lo = pcm->dim_min[d], hi = pcm->dim_max[d];
    // The grid coordinates the reads take.
    const world_use use = world_use_of(lo, hi);
    const double glo = world_grid(pfi, d, lo, use), ghi = world_grid(pfi, d, hi, use);
    if (lo == hi)
      kaprntf(msg_level::result, "%s is fixed     %s = %g  %s = %g\n", upper[d], world[d], lo,
              upper[d], glo);
    else
      kaprntf(msg_level::result, "%s is varying   %s = %g to %g   %s = %g to %g\n", upper[d],
              world[d], lo, hi, upper[d], glo, ghi);
  }
  const float* ts = pfi->grid_to_world_scaling[3];
  const double t1 = t2gr_exact(ts, &pcm->time_start);
  const double t2 = t2gr_exact(ts, &pcm->time_end);
  std::string s1 = time_text(pcm->time_start), s2 = time_text(pcm->time_end);
  if (t1 == t2)
    kaprntf(msg_level::result, "T is fixed     Time = %s  T = %g\n", s1.c_str(), t1);
  else
    kaprntf(msg_level::result, "T is varying   Time = %s to %s  T = %g to %g\n", s1.c_str(),
            s2.c_str(), t1, t2);
  return 0;
}

int kaqtime(char*, char*, session_state* pcm) {
  if (!pcm->file_list) {
    kaprnt(msg_level::error, "No Files Open\n");
    return 1;
  }
  std::string s1 = time_text(pcm->time_start), s2 = time_text(pcm->time_end);
  kaprntf(msg_level::result, "Time = %s to %s", s1.c_str(), s2.c_str());
  kaprntf(msg_level::result, "  %s to %s\n", dweek[dayweek(&pcm->time_start)],
          dweek[dayweek(&pcm->time_end)]);
  return 0;
}

namespace {

// The lines "q file" and "q files" begin a file with. Titles, names and
// descriptions read from a file may hold bytes that are not text.
void print_file_head(int num, const file_descriptor* f) {
  kaprntf(msg_level::result, "File %i : %s\n", num, printable(f->title).c_str());
  kaprntf(msg_level::result, "  Descriptor: %s\n", printable(f->descriptor_name).c_str());
  kaprntf(msg_level::result, "  Binary: %s\n", printable(f->data_file_name).c_str());
}

}  // namespace

int kaqfile(char* lower, char*, session_state* pcm) {
  int rc;
  file_descriptor* pfi = pick_file(lower, pcm, "FILE", &rc);
  if (!pfi) return rc;
  int num = 1;
  for (file_descriptor* f = pcm->file_list; f && f != pfi; f = f->next) num++;
  print_file_head(num, pfi);
  if (holds_stations(pfi)) {
    kaprnt(msg_level::result, "  Type = Station Data\n");
    kaprntf(msg_level::result, "  Tsize = %i\n", pfi->t_size);
  } else {
    kaprnt(msg_level::result, "  Type = Gridded\n");
    kaprntf(msg_level::result, "  Xsize = %i  Ysize = %i  Zsize = %i  Tsize = %i\n", pfi->x_size,
            pfi->y_size, pfi->z_size, pfi->t_size);
  }
  kaprntf(msg_level::result, "  Number of Variables = %i\n", pfi->variable_count);
  for (int i = 0; i < pfi->variable_count; i++) {
    const variable_descriptor& v = pfi->variables[i];
    kaprntf(msg_level::result, "    %s %i %i %s\n", printable(v.abbrev).c_str(), v.levels,
            v.units[0], printable(v.description).c_str());
  }
  return 0;
}

int kaqfiles(char*, char*, session_state* pcm) {
  if (!pcm->file_list) {
    kaprnt(msg_level::result, "No files open\n");
    return 0;
  }
  int num = 1;
  for (file_descriptor* f = pcm->file_list; f; f = f->next, num++) {
    print_file_head(num, f);
  }
  return 0;
}

int kaqctl(char* lower, char*, session_state* pcm) {
  int rc;
  file_descriptor* pfi = pick_file(lower, pcm, "CTLINFO", &rc);
  if (!pfi) return rc;
  // Names, title and descriptions are shown as "q file" shows them.
  kaprntf(msg_level::result, "dset %s\n", printable(pfi->data_file_name).c_str());
  kaprntf(msg_level::result, "title %s\n", printable(pfi->title).c_str());
  kaprntf(msg_level::result, "undef %g\n", pfi->undef);
  if (holds_stations(pfi)) {
    kaprnt(msg_level::result, "dtype station\n");
    kaprntf(msg_level::result, "  Tsize = %i\n", pfi->t_size);
    return 0;
  }
  static const char* const names[3] = {"xdef", "ydef", "zdef"};
  const int sizes[3] = {pfi->x_size, pfi->y_size, pfi->z_size};
  for (int d = 0; d < 3; d++) {
    kaprntf(msg_level::result, "%s %i", names[d], sizes[d]);
    float* gs = pfi->grid_to_world_scaling[d];
    if (pfi->linear_flags[d]) {
      kaprntf(msg_level::result, " linear %g %g\n", pfi->grid_to_world[d](gs, 1.0f), gs[0]);
    } else {
      kaprnt(msg_level::result, " levels");
      int n = sizes[d];
      for (int i = 1; i <= n; i++) {
        kaprntf(msg_level::result, " %g", pfi->grid_to_world[d](gs, float(i)));
        if (i != n && (i == 8 || (i > 8 && (i - 8) % 10 == 0))) kaprnt(msg_level::result, "\n");
      }
      kaprnt(msg_level::result, "\n");
    }
  }
  const float* ts = pfi->grid_to_world_scaling[3];
  date_time start{};
  gr2t(ts, 1.0f, &start);
  std::string st = time_text(start);
  if (ts[5] == 0)
    kaprntf(msg_level::result, "tdef %i linear %s %gmn\n", pfi->t_size, st.c_str(), ts[6]);
  else
    kaprntf(msg_level::result, "tdef %i linear %s %gmo\n", pfi->t_size, st.c_str(), ts[5]);
  kaprntf(msg_level::result, "vars %i\n", pfi->variable_count);
  for (int i = 0; i < pfi->variable_count; i++) {
    const variable_descriptor& v = pfi->variables[i];
    const std::string abbrev = printable(v.abbrev), description = printable(v.description);
    int k = 1;
    while (k < 4 && v.units[k] != -999) k++;
    switch (k) {
      case 1:
        kaprntf(msg_level::result, "%s %i %i %s\n", abbrev.c_str(), v.levels, v.units[0],
                description.c_str());
        break;
      case 2:
        kaprntf(msg_level::result, "%s %i %i,%i %s\n", abbrev.c_str(), v.levels, v.units[0],
                v.units[1], description.c_str());
        break;
      case 3:
        kaprntf(msg_level::result, "%s %i %i,%i,%i %s\n", abbrev.c_str(), v.levels, v.units[0],
                v.units[1], v.units[2], description.c_str());
        break;
      default:
        kaprntf(msg_level::result, "%s %i %i,%i,%i,%i %s\n", abbrev.c_str(), v.levels, v.units[0],
                v.units[1], v.units[2], v.units[3], description.c_str());
        break;
    }
  }
  return 0;
}
