// A writer of station data sets for the tests: the report file, its station
// map and a descriptor, laid out byte by byte here from the file format so
// that the reader is checked against files it did not make.
//
//   stnw::dataset ds;
//   ds.surface_vars = {"ps"};
//   ds.level_vars = {"t", "u"};
//   ds.times = {{{"KDEN", 39.8f, -104.7f, 0, {830}, {{850, {10, 2}}, {500, {-20, 8}}}}}};
//   stnw::files f = stnw::write(dir.path(), "s", ds);   // f.ctl: "open" it
//   (or stnw::surface_report("KDEN", 39.8f, -104.7f, {830}) and upper_report)
//
// Every report of a time goes into that time's group, in the order given; a
// group ends with a header whose level count is 0. A report with surface
// values has its surface flag set and a surface record before its levels.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace stnw {

struct level {
  float lev = 0;
  std::vector<float> values;  // one per level variable, in descriptor order
};

struct report {
  std::string id;  // at most 8 characters; blank-padded on disk
  float lat = 0, lon = 0;
  float toff = 0;              // offset from the group's time, in time-axis grid units
  std::vector<float> surface;  // one per surface variable; empty: no surface record
  std::vector<level> levels;
};

// Shorthands that fill every field (so -Wextra stays quiet).
inline report surface_report(const std::string& id, float lat, float lon, std::vector<float> values,
                             float toff = 0) {
  return report{id, lat, lon, toff, std::move(values), {}};
}
inline report upper_report(const std::string& id, float lat, float lon, std::vector<level> levels,
                           std::vector<float> surface = {}, float toff = 0) {
  return report{id, lat, lon, toff, std::move(surface), std::move(levels)};
}

// Byte order of the report file, and the descriptor option that goes with it.
enum class order {
  host,     // no option
  big,      // "options big_endian"
  little,   // "options little_endian"
  swapped,  // the other order than the host's, "options byteswapped"
};

struct dataset {
  std::vector<std::string> surface_vars;  // names, in order
  std::vector<std::string> level_vars;
  std::vector<std::vector<report>> times;       // one group per time
  std::string tdef = "linear 00z1jan2000 6hr";  // the TDEF record after its count
  float undef = -999;
  order byte_order = order::host;
  bool sequential = false;     // each report framed as records ("options sequential")
  bool split_records = false;  // sequential: header and data as two records
  int map_version = 2;         // 1: no magic, 4-byte integers in the host's order
  bool map_reversed = false;   // version 1 written in the other byte order
  int map_max_words = -1;      // largest report data size written to the map; -1: the true one
  // Templates: one data file name per time (relative to the directory);
  // consecutive equal names share a file; an empty name leaves that time's
  // file missing. dset_template is then the DSET entry ("^s_%y4%m2%d2%h2.dat").
  std::vector<std::string> time_files;
  std::string dset_template;
  std::string extra;  // further descriptor records, each ending in "\n"
};

struct files {
  std::string ctl, dat, map;           // paths (dat: the single data file)
  std::vector<int64_t> group_offsets;  // byte offset of each time's group in its file
  int max_words = 0;                   // largest report data size in words
};

inline bool host_big() { return std::endian::native == std::endian::big; }

inline bool swap_for(order o) {
  switch (o) {
    case order::host: return false;
    case order::big: return !host_big();
    case order::little: return host_big();
    case order::swapped: return true;
  }
  return false;
}

inline void put4(std::string& s, const void* v, bool swap) {
  char b[4];
  std::memcpy(b, v, 4);
  if (swap) std::reverse(b, b + 4);
  s.append(b, 4);
}
inline void put_int(std::string& s, int32_t v, bool swap) { put4(s, &v, swap); }
inline void put_float(std::string& s, float v, bool swap) { put4(s, &v, swap); }
inline void put_be_int(std::string& s, int32_t v) { put_int(s, v, !host_big()); }

inline int data_words(const report& r, const dataset& ds) {
  int nlev = static_cast<int>(ds.level_vars.size()) + 1;
  int words = static_cast<int>(r.levels.size()) * nlev;
  if (!r.surface.empty()) words += static_cast<int>(ds.surface_vars.size());
  return words;
}

inline std::string header_bytes(const report& r, bool end, bool swap) {
  std::string h;
  std::string id = end ? std::string() : r.id.substr(0, 8);
  id.resize(8, ' ');
  if (end) id.assign(8, '\0');
  h += id;
  put_float(h, end ? 0.0f : r.lat, swap);
  put_float(h, end ? 0.0f : r.lon, swap);
  put_float(h, end ? 0.0f : r.toff, swap);
  int nlev = end ? 0 : static_cast<int>(r.levels.size()) + (r.surface.empty() ? 0 : 1);
  put_int(h, nlev, swap);
  put_int(h, end ? 0 : (r.surface.empty() ? 0 : 1), swap);
  return h;
}

inline std::string data_bytes(const report& r, const dataset& ds, bool swap) {
  std::string d;
  if (!r.surface.empty())
    for (size_t i = 0; i < ds.surface_vars.size(); i++)
      put_float(d, i < r.surface.size() ? r.surface[i] : ds.undef, swap);
  for (const level& l : r.levels) {
    put_float(d, l.lev, swap);
    for (size_t i = 0; i < ds.level_vars.size(); i++)
      put_float(d, i < l.values.size() ? l.values[i] : ds.undef, swap);
  }
  return d;
}

inline void put_record(std::string& out, const std::string& rec, bool swap) {
  put_int(out, static_cast<int32_t>(rec.size()), swap);
  out += rec;
  put_int(out, static_cast<int32_t>(rec.size()), swap);
}

// One time's group: its reports, then the group end.
inline std::string group_bytes(const std::vector<report>& g, const dataset& ds, bool swap) {
  std::string out;
  for (const report& r : g) {
    std::string h = header_bytes(r, false, swap), d = data_bytes(r, ds, swap);
    if (!ds.sequential) {
      out += h + d;
    } else if (ds.split_records && !d.empty()) {
      put_record(out, h, swap);
      put_record(out, d, swap);
    } else {
      put_record(out, h + d, swap);
    }
  }
  std::string end = header_bytes(report{}, true, swap);
  if (ds.sequential)
    put_record(out, end, swap);
  else
    out += end;
  return out;
}

inline void save(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string map_bytes(const dataset& ds, const files& f) {
  std::string m;
  int nt = static_cast<int>(ds.times.size());
  int maxw = ds.map_max_words >= 0 ? ds.map_max_words : f.max_words;
  if (ds.map_version == 2) {
    m = "Vemra_stnmapV002";
    put_be_int(m, nt);
    put_be_int(m, maxw);
    for (int64_t o : f.group_offsets) put_be_int(m, static_cast<int32_t>(o));
    for (const auto& g : ds.times) put_be_int(m, static_cast<int32_t>(g.size()));
  } else {
    bool swap = ds.map_reversed;
    put_int(m, nt, swap);
    put_int(m, maxw, swap);
    for (int64_t o : f.group_offsets) put_int(m, static_cast<int32_t>(o), swap);
    for (const auto& g : ds.times) put_int(m, static_cast<int32_t>(g.size()), swap);
  }
  return m;
}

inline std::string descriptor_text(const dataset& ds, const std::string& name) {
  std::string c;
  c += "dset " + (ds.time_files.empty() ? "^" + name + ".dat" : ds.dset_template) + "\n";
  c += "dtype station\n";
  c += "stnmap ^" + name + ".map\n";
  c += "undef " + std::to_string(ds.undef) + "\n";
  c += "title station test data\n";
  std::string opts;
  if (ds.sequential) opts += " sequential";
  if (!ds.time_files.empty()) opts += " template";
  switch (ds.byte_order) {
    case order::host: break;
    case order::big: opts += " big_endian"; break;
    case order::little: opts += " little_endian"; break;
    case order::swapped: opts += " byteswapped"; break;
  }
  if (!opts.empty()) c += "options" + opts + "\n";
  c += "tdef " + std::to_string(ds.times.size()) + " " + ds.tdef + "\n";
  c += ds.extra;
  c += "vars " + std::to_string(ds.surface_vars.size() + ds.level_vars.size()) + "\n";
  for (const std::string& v : ds.surface_vars) c += v + " 0 99 surface " + v + "\n";
  for (const std::string& v : ds.level_vars) c += v + " 1 99 level " + v + "\n";
  c += "endvars\n";
  return c;
}

// Writes dir/name.dat (or the per-time files), dir/name.map and dir/name.ctl.
inline files write(const std::string& dir, const std::string& name, const dataset& ds) {
  files f;
  f.ctl = dir + "/" + name + ".ctl";
  f.map = dir + "/" + name + ".map";
  f.dat = dir + "/" + name + ".dat";
  bool swap = swap_for(ds.byte_order);
  for (const auto& g : ds.times)
    for (const report& r : g) f.max_words = std::max(f.max_words, data_words(r, ds));
  if (ds.time_files.empty()) {
    std::string all;
    for (const auto& g : ds.times) {
      f.group_offsets.push_back(static_cast<int64_t>(all.size()));
      all += group_bytes(g, ds, swap);
    }
    save(f.dat, all);
  } else {
    std::string cur, bytes;
    auto flush = [&] {
      if (!cur.empty()) save(dir + "/" + cur, bytes);
      bytes.clear();
    };
    for (size_t t = 0; t < ds.times.size(); t++) {
      std::string fname = t < ds.time_files.size() ? ds.time_files[t] : std::string();
      if (fname != cur) {
        flush();
        cur = fname;
      }
      f.group_offsets.push_back(static_cast<int64_t>(bytes.size()));
      if (!cur.empty()) bytes += group_bytes(ds.times[t], ds, swap);
    }
    flush();
  }
  save(f.map, map_bytes(ds, f));
  save(f.ctl, descriptor_text(ds, name));
  return f;
}

}  // namespace stnw
