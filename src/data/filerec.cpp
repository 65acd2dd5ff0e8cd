#include "data/filerec.h"

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "base/timecal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "data/gribindex.h"
#include "data/reader.h"

int capped_times(long n, const char* prefix) {
  if (n <= kMaxTimes) return int(n);
  kaprntf(msg_level::info, "%sThe time dimension holds %ld times; only the first %d are used.\n",
          prefix, n, kMaxTimes);
  return kMaxTimes;
}

bool keep_session_calendar(int calendar_365) {
  if (mfcmn.calendar_365 < 0) {
    mfcmn.calendar_365 = calendar_365;
    return true;
  }
  if (mfcmn.calendar_365 == calendar_365) return true;
  kaprnt(msg_level::error, "Attempt to change the global calendar...\n");
  kaprnt(msg_level::error,
         mfcmn.calendar_365 == 1
             ? "The calendar is NOW 365 DAYS and you attempted to open a standard calendar file\n"
             : "The calendar is NOW STANDARD and you attempted to open a 365-day calendar file\n");
  return false;
}

template_fill fill_template_table(int* table, int n, const char* tmpl, const float* time_scaling,
                                  size_t literal, const char* prefix) {
  if (n < 1) return template_fill::done;
  date_time first{};
  gr2t(time_scaling, 1.0f, &first);
  std::string prev = kafndt(tmpl, &first, &first, time_scaling, literal);
  // Only an empty template names no file, and then every time alike.
  if (prev.empty()) {
    std::fill(table, table + n, 1);
    return template_fill::no_name;
  }
  int cur = 1;
  table[0] = 1;
  for (int t = 2; t <= n; t++) {
    // A series of millions of times takes a while: let the user stop it.
    if ((t & 0xffff) == 0 && kaqsig()) {
      kaprntf(msg_level::error, "%sInterrupted while the template's file names were formed\n",
              prefix);
      return template_fill::interrupted;
    }
    date_time tt{};
    gr2t(time_scaling, double(t), &tt);
    std::string name = kafndt(tmpl, &tt, &first, time_scaling, literal);
    if (name != prev) {
      cur = t;
      prev = std::move(name);
    }
    table[t - 1] = cur;
  }
  return template_fill::done;
}

file_descriptor* getpfi() {
  // calloc gives every pointer null, every count and flag 0 and empty names.
  auto* pfi = static_cast<file_descriptor*>(kacalloc(1, sizeof(file_descriptor)));
  pfi->file_type = grid_file;
  pfi->file_number = -999;
  pfi->grib_grid_type = -999;
  pfi->reader = find_reader(data_kind::binary);
  return pfi;
}

void set_x_wrap(file_descriptor* pfi, bool all_close, bool seam_closes) {
  pfi->x_seam = !all_close && seam_closes;
  pfi->x_wraps = all_close || pfi->x_seam;
}

void set_x_wrap_linear(file_descriptor* pfi, double first_to_last, double step) {
  const double half = std::fabs(step) / 2.0;
  auto closes = [&](double span) { return span >= 360.0 - half && span < 360.0 + half; };
  set_x_wrap(pfi, closes(first_to_last + step), closes(first_to_last));
}

int64_t x_column(const file_descriptor* pfi, int64_t x) {
  if ((x >= 1 && x <= pfi->x_size) || !pfi->x_wraps || pfi->x_size < 1) return x;
  int64_t c = x;
  x_runs(pfi->x_size, x_turn(pfi), x, 1, [&](int64_t, int64_t first, int64_t) { c = first; });
  return c;
}

void frepfi(file_descriptor* pfi, int keep) {
  if (!pfi) return;
  if (pfi->grib_index) {
    frepgi(pfi->grib_index);
    pfi->grib_index = nullptr;
  }
  kafree(pfi->template_file_numbers);
  kafree(pfi->station_offsets);
  kafree(pfi->station_counts);
  kafree(pfi->variables);
  kafree(pfi->data_buffer);
  kafree(pfi->grib_buffer);
  kafree(pfi->map_file_name);
  kafree(pfi->open_template_name);
  for (int i = 0; i < 8; i++) {
    kafree(pfi->pdef_index[i]);
    kafree(pfi->pdef_weights[i]);
  }
  kafree(pfi->pdef_extra);
  if (!keep) {
    // The world-to-grid arrays live inside these allocations.
    for (int i = 0; i < 4; i++) kafree(pfi->grid_to_world_scaling[i]);
  }
  if (pfi->reader && pfi->reader->release) pfi->reader->release(pfi);
  kafree(pfi);
}

void kaaddfile(session_state* pcm, file_descriptor* pfi) {
  if (!pcm->file_list) {
    pcm->file_list = pfi;
  } else {
    file_descriptor* last = pcm->file_list;
    while (last->next) last = last->next;
    last->next = pfi;
  }
  pcm->file_count++;
  if (pcm->file_count == 1) {
    pcm->default_file = pfi;
    pcm->default_file_number = 1;
  }
}

file_descriptor* kaunlinklast(session_state* pcm) {
  file_descriptor* pfi = pcm->file_list;
  file_descriptor* prev = nullptr;
  if (!pfi) return nullptr;
  while (pfi->next) {
    prev = pfi;
    pfi = pfi->next;
  }
  const bool was_default = pfi == pcm->default_file;
  pcm->file_count--;
  if (prev) prev->next = nullptr;
  if (pcm->file_count == 0) {
    pcm->file_list = nullptr;
    pcm->default_file = nullptr;
    pcm->default_file_number = 0;
  } else if (was_default) {
    pcm->default_file = pcm->file_list;
    pcm->default_file_number = 1;
  }
  return pfi;
}

void kaclosefile(file_descriptor* pfi) {
  if (pfi->data_stream) {
    std::fclose(pfi->data_stream);
    pfi->data_stream = nullptr;
  }
  if (pfi->second_stream) {
    std::fclose(pfi->second_stream);
    pfi->second_stream = nullptr;
  }
  if (pfi->reader && pfi->reader->close) pfi->reader->close(pfi);
}

void kadiscard(file_descriptor* pfi) {
  kaclosefile(pfi);
  frepfi(pfi, 0);
}

void kadroplast(session_state* pcm) {
  if (file_descriptor* pfi = kaunlinklast(pcm)) kadiscard(pfi);
}

open_guard::open_guard(session_state* pcm)
    : pcm_(pcm),
      calendar_(mfcmn.calendar_365),
      files_(pcm->file_count),
      time_start_(pcm->time_start),
      time_end_(pcm->time_end) {
  std::copy(pcm->dim_min, pcm->dim_min + 3, dim_min_);
  std::copy(pcm->dim_max, pcm->dim_max + 3, dim_max_);
  std::copy(pcm->dim_varying, pcm->dim_varying + 4, dim_varying_);
}

open_guard::~open_guard() {
  if (kept_) return;
  while (pcm_->file_count > files_) kadroplast(pcm_);
  std::copy(dim_min_, dim_min_ + 3, pcm_->dim_min);
  std::copy(dim_max_, dim_max_ + 3, pcm_->dim_max);
  std::copy(dim_varying_, dim_varying_ + 4, pcm_->dim_varying);
  pcm_->time_start = time_start_;
  pcm_->time_end = time_end_;
  mfcmn.calendar_365 = calendar_;
}

void open_guard::reopen_calendar() const {
  if (calendar_ < 0) mfcmn.calendar_365 = calendar_;
}
