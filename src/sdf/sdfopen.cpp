// "sdfopen": a netCDF file, or the first of a series named by a time
// template, opened as a data set; and the switch between the files of a
// series as reads move in time.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "data/result.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

// Makes the record's current metadata a copy of the first file's, with no
// file open; false when the copy failed.
bool back_to_first(file_descriptor* pfi) {
  io_std* cur = nullptr;
  if (!copy_io_std(&cur, static_cast<io_std*>(pfi->first_template_io))) return false;
  cur->ncid = -1;
  free_io_std(&pfi->sdf_io);
  pfi->sdf_io = cur;
  return true;
}

// A later file of a series is read by the first file's coordinates, so its
// grid must be the same point for point: a file stored the other way up, or
// on another grid, would have its values put in the wrong places. Returns
// what differs for variable v, or nothing.
std::string grid_difference(const file_descriptor* pfi, io_std* io, const var_info& v) {
  struct axis {
    int slot, dim;
    const char* name;
  };
  static constexpr axis axes[] = {{kAxisX, 0, "X"}, {kAxisY, 1, "Y"}, {kAxisZ, 2, "Z"}};
  for (const axis& a : axes) {
    const int d = v.axis_dim[a.slot];
    if (d < 0 || d >= int(io->dim_names.size())) continue;
    const long n = io->dim_size(d);
    const int want = a.dim == 0 ? pfi->x_size : a.dim == 1 ? pfi->y_size : pfi->z_size;
    if (n != want)
      return std::string(a.name) + " has " + std::to_string(n) + " points, not " +
             std::to_string(want);
    var_info* c = find_var(io, io->dim_names[size_t(d)].c_str());
    if (!c || c->ndims != 1 || !read_one_dimension(io, c, d)) continue;
    const bool rev = (a.dim == 1 && pfi->yrev) || (a.dim == 2 && pfi->zrev);
    auto world = [&](long g) {
      return double(pfi->grid_to_world[a.dim](pfi->grid_to_world_scaling[a.dim], float(g)));
    };
    for (long j = 0; j < n; j++) {
      double got;
      if (!sdf_coord_value(c, j, &got)) break;
      const long g = rev ? n - j : j + 1;
      const double w = world(g);
      // Within a hundredth of the spacing there (rounding of the stored values).
      const double spacing = n > 1 ? std::fabs(world(g < n ? g + 1 : g - 1) - w) : 0.0;
      const double tolerance = std::max(0.01 * spacing, 1e-6 * std::fabs(w));
      if (!(std::fabs(got - w) <= tolerance)) {
        char text[160];
        std::snprintf(text, sizeof text, "%s value %ld is %g, not %g", a.name, j + 1, got, w);
        return text;
      }
    }
  }
  return {};
}

}  // namespace

namespace {
sdf_command_fn run_command = nullptr;

void run(const char* line, session_state* pcm) {
  if (run_command) run_command(line, pcm, false);
}
}  // namespace

void sdf_install(sdf_command_fn runner) {
  run_command = runner;
  register_reader(data_kind::netcdf, &netcdf_reader);
  kaset_memory_giver([] { return sdf_give_back_buffers(nullptr); });
}

namespace {

void default_env(file_descriptor* pfi, session_state* pcm) {
  char cmd[64];
  if (pfi->x_wraps && !pfi->x_seam) {
    run("set lon 0 360", pcm);
  } else {
    std::snprintf(cmd, sizeof cmd, "set x 1 %i", pfi->x_size);
    run(cmd, pcm);
  }
  std::snprintf(cmd, sizeof cmd, "set y 1 %i", pfi->y_size);
  run(cmd, pcm);
  run("set z 1", pcm);
  run("set t 1", pcm);
}

}  // namespace

void sdf_list_file(dataset_ptr owner, const char* kind, session_state* pcm) {
  file_descriptor* pfi = owner.release();
  pcm->file_serial++;
  pfi->file_number = pcm->file_serial;
  pfi->next = nullptr;
  kaaddfile(pcm, pfi);
  kaprntf(msg_level::result, "%s %s is open as file %i\n", kind, pfi->data_file_name,
          pcm->file_count);
  if (pcm->file_count == 1) default_env(pfi, pcm);
}

int kasdfopen(const char* args, session_state* pcm) {
  sdf_parms parms;
  doparms4sdf(&parms);
  char name[4096];
  getwrd(name, args, 4095);
  const char* rest = nxtwrd(args);
  kaprnt(msg_level::error, std::string("Scanning self-describing file:  ") + name + "\n");
  // A failure (also a failed allocation) leaves the session's calendar,
  // files and environment as they were.
  open_guard guard(pcm);
  // Until the data set is on the file list a failure closes its netCDF file
  // and frees it.
  dataset_ptr owner(getpfi());
  file_descriptor* pfi = owner.get();
  pfi->reader = find_reader(data_kind::netcdf);
  io_std* io = nullptr;
  if (!init_io_std(&io)) {
    kaprnt(msg_level::error, "Memory Allocation Error:  On SDF File Open\n");
    return 1;
  }
  pfi->sdf_io = io;
  pfi->template_flag = 0;
  std::string tmpl;
  int ntsteps = -999;
  if (rest) {
    char word[4096];
    getwrd(word, rest, 4095);
    const char* slash = std::strrchr(name, '/');
    tmpl = slash ? std::string(name, size_t(slash - name + 1)) : std::string();
    tmpl += word;
    const char* third = nxtwrd(rest);
    int n = 0;
    if (!third) {
      kaprnt(msg_level::result,
             "Warning:  malformed optional args to SDFOPEN command, ignoring.\n");
      tmpl.clear();
    } else {
      const char* end = intprs(third, &n);
      if (!end || n < 1) {
        kaprnt(msg_level::result,
               "Warning:  bad ntsteps arg to SDFOPEN command, ignoring templating info.\n");
        tmpl.clear();
      } else {
        // The same bound as a file's own time axis: the series' table has
        // an entry per time.
        ntsteps = capped_times(n, "SDF:  ");
        pfi->template_flag = 1;
      }
    }
  }
  int rc = kadsdf(name, pfi, tmpl, ntsteps, parms);
  if (rc) return rc;
  sdf_list_file(std::move(owner), "SDF file", pcm);
  guard.keep();
  return 0;
}

void kasdfclose(file_descriptor* pfi) {
  if (!pfi || !pfi->sdf_io) return;
  auto* io = static_cast<io_std*>(pfi->sdf_io);
  close_netcdf(io->ncid);
  io->ncid = -1;
}

int kaopsdf(int t, grid_field* grid, var_info** var) {
  file_descriptor* pfi = grid->file;
  if (t < 1 || t > pfi->t_size || !pfi->template_file_numbers) return -99999;
  int f = pfi->template_file_numbers[t - 1];
  if (f == pfi->open_template_time) return t - f + 1;

  kafree(pfi->open_template_name);
  pfi->open_template_name = nullptr;
  // The old metadata stays readable until the switch ends.
  io_std* old = static_cast<io_std*>(pfi->sdf_io);
  pfi->sdf_io = nullptr;
  auto close_old = [&]() {
    if (old) {
      close_netcdf(old->ncid);
      old->ncid = -1;
    }
  };

  const float* ts = pfi->grid_to_world_scaling[3];
  date_time dt{}, d1{};
  gr2t(ts, double(t), &dt);
  gr2t(ts, 1.0f, &d1);
  std::string name = kafndt(pfi->data_file_name, &dt, &d1, ts);
  if (name.empty()) {
    close_old();
    free_io_std(&old);
    kaprnt(msg_level::info,
           back_to_first(pfi) ? "SDF templating:  Error getting new filename.\n"
                              : "SDF templating:  Error copying SDF info from first to current.\n");
    pfi->open_template_time = 0;
    return -99999;
  }
  io_std* fresh = nullptr;
  if (!init_io_std(&fresh)) {
    kaprnt(msg_level::error, "SDF templating:  Allocation error opening new SDF file.\n");
    pfi->open_template_time = 0;
    close_old();
    free_io_std(&old);
    kaprnt(msg_level::info, back_to_first(pfi)
                                ? "SDF templating:  Error moving to new file.\n"
                                : "SDF templating:  Error copying first to current in switch.\n");
    return -88888;
  }
  if (!read_io_std(name.c_str(), fresh)) {
    kaprnt(msg_level::error, "SDF templating:  Open of new SDF file failed.\n  Filename is ");
    kaprnt(msg_level::error, name);
    kaprnt(msg_level::error, ".\nIf this was an HDF-SDS file, try vemrahdf.\n");
    pfi->open_template_time = 0;
    free_io_std(&fresh);
    // The file that was open is closed; its metadata stays, with no file.
    close_old();
    pfi->sdf_io = old;
    kaprnt(msg_level::info, "SDF templating:  New open failed.\n");
    return -88888;
  }

  // Carry each variable's name and axes over from the first file, which
  // holds every variable of the data set: the file left may lack some.
  // Axis positions are found again by dimension name: the new file may order
  // its dimensions differently, and a variable whose axes are missing or out
  // of order in it can't be read there.
  const io_std* src = pfi->first_template_io ? static_cast<io_std*>(pfi->first_template_io) : old;
  fresh->fill_switch = src ? src->fill_switch : 0;
  if (src) {
    for (const var_info& ov : src->vars) {
      var_info* nv = find_var(fresh, ov.name.c_str());
      if (!nv) continue;
      bool usable = !ov.display.empty();
      int last = -1;
      for (int a = 0; a < 4; a++) {
        nv->axis_dim[a] = nv->axis_pos[a] = -1;
        int od = ov.axis_dim[a];
        if (od < 0) continue;
        int nd = od < src->ndims ? find_dim(fresh, src->dim_names[size_t(od)].c_str()) : -1;
        int pos = find_dimix(nv->dimids, nv->ndims, nd);
        if (pos < 0 || pos <= last) {
          usable = false;
          continue;
        }
        last = pos;
        nv->axis_dim[a] = nd;
        nv->axis_pos[a] = pos;
      }
      nv->display = usable ? ov.display : std::string();
      if (fresh->fill_switch)
        sdf_store_value(pfi->undef, nv->type, nv->missing);
      else if (nv->type != NC_CHAR)
        sdf_own_missing(*nv);
    }
  }
  close_old();
  free_io_std(&old);
  pfi->sdf_io = fresh;

  // The file just opened is closed and the first file's metadata comes back;
  // the times asked for are undefined.
  auto give_up = [&](const char* copy_failed) {
    close_netcdf(fresh->ncid);
    fresh->ncid = -1;
    pfi->open_template_time = 0;
    if (!back_to_first(pfi)) kaprnt(msg_level::info, copy_failed);
    return -88888;
  };
  const char* abbrev = grid->variable ? grid->variable->abbrev : "";
  var_info* found = sdf_find_display(fresh, abbrev);
  if (!found) {
    kaprntf(msg_level::error, "SDF templating:  Couldn't find variable %s in SDF file.\n", abbrev);
    return give_up(
        "SDF templating:  Error copying current to first after failure finding variable.\n");
  }
  const std::string differs = grid_difference(pfi, fresh, *found);
  if (!differs.empty()) {
    kaprntf(msg_level::error,
            "SDF templating:  %s is not on the grid of the first file (%s); "
            "its times are undefined.\n",
            name.c_str(), differs.c_str());
    return give_up("SDF templating:  Error copying first to current after a grid check.\n");
  }
  *var = found;
  pfi->open_template_time = f;
  pfi->open_template_name = kastrdup(name.c_str());
  return t - f + 1;
}
