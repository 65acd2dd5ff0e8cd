// The table of readers by kind of data set, and the station request that
// goes through it.

#include "data/reader.h"

#include "base/message.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/readers.h"
#include "data/result.h"

namespace {

// Self-describing files before their layer registers its reader: every
// read is refused with a clear message, and the caller abandons the
// expression.
int refuse_netcdf(read_request&, float*) {
  kaprnt(msg_level::error, "Data Request Error:  Self-describing files can't be read yet\n");
  return 1;
}

const reader unregistered_netcdf = {
    "netCDF", nullptr, nullptr, refuse_netcdf, nullptr, nullptr, nullptr, nullptr,
    nullptr,  nullptr, false,   false,         nullptr, false,   nullptr,
};

constexpr int kKinds = int(data_kind::netcdf) + 1;

const reader* const built_in[kKinds] = {
    &binary_reader,  &grib_reader,    &preprojected_binary_reader, &preprojected_grib_reader,
    &station_reader, &defined_reader, &unregistered_netcdf,
};

const reader* installed[kKinds] = {};

}  // namespace

const reader* find_reader(data_kind kind) {
  const int k = int(kind);
  if (k < 0 || k >= kKinds) return &binary_reader;
  return installed[k] ? installed[k] : built_in[k];
}

void register_reader(data_kind kind, const reader* r) {
  const int k = int(kind);
  if (k >= 0 && k < kKinds) installed[k] = r;
}

const reader* reader_of(const file_descriptor* file) {
  return file && file->reader ? file->reader : &binary_reader;
}

bool holds_stations(const file_descriptor* file) { return reader_of(file)->stations != nullptr; }

double world_grid(const file_descriptor* file, int d, float w, world_use use) {
  if (holds_stations(file) || !file->world_to_grid[d]) return w;
  const dimension_conversion axis{file->grid_to_world[d], file->grid_to_world_scaling[d],
                                  file->world_to_grid[d], file->world_to_grid_scaling[d],
                                  file->linear_flags[d]};
  return grid_coordinate(axis, w, use);
}

bool held_in_memory(const file_descriptor* file) { return reader_of(file)->in_memory; }

bool preprojected(const file_descriptor* file) { return reader_of(file)->inner != nullptr; }

bool rotates_winds(const file_descriptor* file) {
  const reader* rd = reader_of(file);
  return rd->rotates_winds && rd->rotates_winds(file);
}

int kagstn(station_set* set) {
  // Without a data set the station reader reports the request itself.
  const reader* rd = set->file ? reader_of(set->file) : &station_reader;
  if (!rd->stations) {
    kaprntf(msg_level::error, "Data Request Error:  %s data sets hold no station data\n", rd->name);
    return 1;
  }
  read_request rq;
  rq.file = set->file;
  return rd->stations(rq, set);
}
