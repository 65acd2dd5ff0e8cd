#include "sdf/ncmeta.h"
#include "sdf/sdfint.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include <netcdf_filter.h>
#include <sys/stat.h>

#include "base/inputfile.h"
#include "base/message.h"
#include "base/scaling.h"
#include "data/filerec.h"
#include "sdf/units.h"

namespace {

constexpr const char* kNoMemory = "Could not allocate memory for netCDF structure.\n";

// The largest single read of a classic file.
constexpr size_t kReadChunk = size_t(1) << 20;

// How a variable is stored, as far as reading it goes.
enum class var_storage { other, contiguous, plain_row_chunks };

// Plain row chunks: chunks holding whole rows (the last two dimensions in
// full) with no filter. They are best read straight into the caller's
// buffer, without the chunk cache that would copy each one in first. A
// variable of a classic file is contiguous.
var_storage storage_of(int ncid, const var_info& v, const std::vector<long>& dim_sizes) {
  int storage = 0;
  std::vector<size_t> chunks(size_t(v.ndims) + 1);
  if (nc_inq_var_chunking(ncid, v.id, &storage, chunks.data()) != NC_NOERR)
    return var_storage::other;
  if (storage == NC_CONTIGUOUS) return var_storage::contiguous;
  // Shuffle, checksums and compression are all filters.
  size_t filters = 1;
  if (storage != NC_CHUNKED || nc_inq_var_filter_ids(ncid, v.id, &filters, nullptr) != NC_NOERR ||
      filters != 0)
    return var_storage::other;
  for (int i = v.ndims - 1; i >= 1 && i >= v.ndims - 2; i--) {
    const int d = v.dimids[size_t(i)];
    if (d < 0 || size_t(d) >= dim_sizes.size() || long(chunks[size_t(i)]) != dim_sizes[size_t(d)])
      return var_storage::other;
  }
  return var_storage::plain_row_chunks;
}

// How the variables' values are read: those whose rows lie together in the
// file (contiguous, or in plain row chunks read without the cache) are read
// as whole rows. A classic file is open without the library's block buffer,
// so that each contiguous run is one read.
void choose_reads(int ncid, io_std* io) {
  for (var_info& v : io->vars) {
    switch (storage_of(ncid, v, io->dim_sizes)) {
      case var_storage::contiguous: v.whole_rows = true; break;
      case var_storage::plain_row_chunks:
        v.whole_rows = nc_set_var_chunk_cache(ncid, v.id, 0, 0, 0.75f) == NC_NOERR;
        break;
      case var_storage::other: break;
    }
  }
}

// A netCDF-4 string attribute is held as a char attribute, its strings
// joined by newlines: writers store text such as units either way. The
// older interface has no string type, so this one read goes through the
// current one.
bool read_string_att(int ncid, int varid, const char* name, netcdf_att& a) {
  struct owned_strings {
    std::vector<char*> p;
    ~owned_strings() {
      if (!p.empty()) nc_free_string(p.size(), p.data());
    }
  } strings{std::vector<char*>(size_t(a.len), nullptr)};
  if (a.len > 0 && nc_get_att_string(ncid, varid, name, strings.p.data()) != NC_NOERR) return false;
  std::string text;
  for (size_t i = 0; i < strings.p.size(); i++) {
    if (i) text += '\n';
    if (strings.p[i]) text += strings.p[i];
  }
  a.type = NC_CHAR;
  a.len = int(text.size());
  a.values.assign(text.begin(), text.end());
  a.values.push_back(0);
  return true;
}

// Reads the attributes of a variable (or of the file, NC_GLOBAL).
bool read_atts(int ncid, int varid, int count, std::vector<netcdf_att>& atts) {
  atts.clear();
  quiet_nc q;
  for (int i = 0; i < count; i++) {
    netcdf_att a;
    char name[NC_MAX_NAME + 1] = {};
    if (ncattname(ncid, varid, i, name) == -1) return false;
    a.name = name;
    if (ncattinq(ncid, varid, name, &a.type, &a.len) == -1 || a.len < 0) return false;
    if (a.type == NC_STRING) {
      if (!read_string_att(ncid, varid, name, a)) return false;
      atts.push_back(std::move(a));
      continue;
    }
    // Attributes of the netCDF-4 integer types stay unread: only their
    // coordinates' values are read as numbers.
    int size = is_nc4_integer(a.type) ? 0 : nc_type_size(a.type);
    if (a.type == NC_CHAR || a.type == NC_BYTE) size = 1;
    if (size > 0) {
      // Byte and char attributes get one more byte: the terminator of a text.
      a.values.assign(size_t(a.len) * size + 1, 0);
      if (a.len > 0 && ncattget(ncid, varid, name, a.values.data()) == -1) return false;
    }
    atts.push_back(std::move(a));
  }
  return true;
}

bool begins_nocase(const char* s, const char* prefix) {
  for (; *prefix; s++, prefix++)
    if (std::tolower(static_cast<unsigned char>(*s)) !=
        std::tolower(static_cast<unsigned char>(*prefix)))
      return false;
  return true;
}

// The time convention of the file: 1 when a time variable with units was
// found (the flag then tells the encoding), else 0.
int set_time_type(io_std* io) {
  io->time_flag = 0;
  const var_info* tv = nullptr;
  for (const var_info& v : io->vars)
    if (v.name == "time") {
      tv = &v;
      break;
    }
  if (!tv) {
    for (const var_info& v : io->vars) {
      if (v.ndims != 1) continue;
      const netcdf_att* u = find_att(v.atts, "units");
      if (u && u->type == NC_CHAR && ud_is_time(u->text())) {
        tv = &v;
        break;
      }
    }
  }
  if (!tv) return 0;
  const netcdf_att* u = find_att(tv->atts, "units");
  if (!u || u->type != NC_CHAR) return 0;
  io->time_flag = begins_nocase(u->text(), "yyyy") ? 0 : 1;
  return 1;
}

template <class T>
bool to_int_range(double v, T* out) {
  if (!std::isfinite(v)) return false;
  double t = std::trunc(v);
  if (t < double(std::numeric_limits<int>::min()) || t > double(std::numeric_limits<int>::max()))
    return false;
  *out = static_cast<T>(static_cast<int>(t));
  return true;
}

}  // namespace

const char* netcdf_att::text() const {
  if (type != NC_CHAR || values.empty()) return "";
  return reinterpret_cast<const char*>(values.data());
}

bool netcdf_att::number(int i, double* out) const {
  if (i < 0 || i >= len || values.empty()) return false;
  return value_as_double(values.data(), type, i, out);
}

long io_std::dim_size(int id) const {
  if (id < 0 || id >= ndims || size_t(id) >= dim_sizes.size()) return -1;
  return dim_sizes[size_t(id)];
}

int nc_type_size(nc_type type) {
  switch (type) {
    case NC_BYTE:
    case NC_UBYTE: return 1;
    case NC_SHORT:
    case NC_USHORT: return 2;
    case NC_INT:
    case NC_UINT: return 4;
    case NC_FLOAT: return 4;
    case NC_DOUBLE:
    case NC_INT64:
    case NC_UINT64: return 8;
    default: return 0;
  }
}

bool is_nc4_integer(nc_type type) {
  return type == NC_UBYTE || type == NC_USHORT || type == NC_UINT || type == NC_INT64 ||
         type == NC_UINT64;
}

bool value_as_double(const void* data, nc_type type, long index, double* out) {
  switch (type) {
    case NC_BYTE: *out = static_cast<const signed char*>(data)[index]; return true;
    case NC_UBYTE: *out = static_cast<const unsigned char*>(data)[index]; return true;
    case NC_SHORT: *out = static_cast<const short*>(data)[index]; return true;
    case NC_USHORT: *out = static_cast<const unsigned short*>(data)[index]; return true;
    case NC_INT: *out = static_cast<const int*>(data)[index]; return true;
    case NC_UINT: *out = static_cast<const unsigned*>(data)[index]; return true;
    case NC_INT64: *out = double(static_cast<const long long*>(data)[index]); return true;
    case NC_UINT64: *out = double(static_cast<const unsigned long long*>(data)[index]); return true;
    case NC_FLOAT: *out = static_cast<const float*>(data)[index]; return true;
    case NC_DOUBLE: *out = static_cast<const double*>(data)[index]; return true;
    default: return false;
  }
}

int init_io_std(io_std** io) {
  free_io_std(io);
  *io = new (std::nothrow) io_std;
  if (!*io) {
    kaprnt(msg_level::error, kNoMemory);
    return 0;
  }
  return 1;
}

void free_io_std(io_std** io) {
  if (!io) return;
  delete *io;
  *io = nullptr;
}

void free_io_std(void** io) {
  if (!io) return;
  delete static_cast<io_std*>(*io);
  *io = nullptr;
}

int close_netcdf(int ncid) {
  if (ncid == kNoNetcdf) return 0;
  return nc_close(ncid) == NC_NOERR ? 1 : 0;
}

namespace {

// The device and inode of the file path names now.
bool file_id(const char* path, unsigned long long* dev, unsigned long long* ino) {
  struct stat st;
  if (stat(path, &st) != 0) return false;
  *dev = st.st_dev;
  *ino = st.st_ino;
  return true;
}

}  // namespace

int read_io_std(const char* path, io_std* io) {
  if (!path || !*path || !io) return 0;
  // The library would wait for ever on a pipe and read a device without end.
  if (check_input(path) == input_status::not_regular) {
    kaprntf(msg_level::error, "%s\n", input_refusal(path, input_status::not_regular, 0).c_str());
    return 0;
  }
  int ncid = -1;
  // Unbuffered: a classic file's runs are read exactly as asked for, a few
  // bytes for a point of each time, one read for a whole grid.
  size_t chunk = kReadChunk;
  int rc = nc__open(path, NC_NOWRITE | NC_SHARE, &chunk, &ncid);
  if (rc != NC_NOERR) {
    // Standard output first: a log of both streams keeps the order.
    std::fflush(stdout);
    std::fprintf(stderr, "nc_open failure:\n%s\n", nc_strerror(rc));
    kaprntf(msg_level::error, "%s does not exist or is not a netCDF file.\n", path);
    return 0;
  }
  if (!read_io_std_open(ncid, io)) {
    close_netcdf(ncid);
    io->ncid = -1;
    return 0;
  }
  io->file_known = file_id(path, &io->file_dev, &io->file_ino);
  return 1;
}

int read_io_std_open(int ncid, io_std* io) {
  io->ncid = ncid;
  quiet_nc q;
  int nd = 0, nv = 0, na = 0, rec = -1;
  if (ncinquire(ncid, &nd, &nv, &na, &rec) == -1) return 0;
  if (nd < 0 || nv < 0 || na < 0) return 0;
  if (nd > kMaxSdfDims) {
    std::fflush(stdout);
    std::fprintf(stderr, "Only first %d dimensions processed; library limit.\n", kMaxSdfDims);
    nd = kMaxSdfDims;
  }
  io->ndims = nd;
  io->nvars = nv;
  io->ngatts = na;
  io->recdim = rec >= 0 && rec < nd ? rec : -1;
  if (!read_atts(ncid, NC_GLOBAL, na, io->gatts)) return 0;
  io->dim_names.assign(size_t(nd), std::string());
  io->dim_sizes.assign(size_t(nd), -1);
  for (int i = 0; i < nd; i++) {
    char name[NC_MAX_NAME + 1] = {};
    long len = 0;
    if (ncdiminq(ncid, i, name, &len) == -1) return 0;
    // The older interface gives the length as an int: a longer CDF-5
    // dimension comes back cut to its low bits.
    size_t full = 0;
    if (nc_inq_dimlen(ncid, i, &full) == NC_NOERR)
      len = full > size_t(std::numeric_limits<long>::max()) ? std::numeric_limits<long>::max()
                                                            : long(full);
    io->dim_names[size_t(i)] = name;
    io->dim_sizes[size_t(i)] = len;
  }
  io->vars.clear();
  io->vars.reserve(size_t(nv));
  std::vector<int> dims(NC_MAX_VAR_DIMS);
  for (int id = 0; id < nv; id++) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    int ndims = 0, natts = 0;
    if (ncvarinq(ncid, id, name, &type, &ndims, dims.data(), &natts) == -1) return 0;
    if (ndims < 0 || ndims > NC_MAX_VAR_DIMS) return 0;
    if (ndims > kMaxSdfDims) {
      std::fflush(stdout);
      std::fprintf(stderr, "Variable %s has more than %d dimensions; left out.\n", name,
                   kMaxSdfDims);
      continue;
    }
    var_info v;
    v.id = id;
    v.name = name;
    v.type = type;
    v.ndims = ndims;
    v.dimids.assign(dims.begin(), dims.begin() + ndims);
    if (!read_atts(ncid, id, natts, v.atts)) return 0;
    io->vars.push_back(std::move(v));
  }
  choose_reads(ncid, io);
  set_time_type(io);
  return 1;
}

int copy_io_std(io_std** dst, const io_std* src) {
  free_io_std(dst);
  if (!src) return 0;
  *dst = new (std::nothrow) io_std(*src);
  if (!*dst) {
    kaprnt(msg_level::error, kNoMemory);
    return 0;
  }
  // The copy holds no values; missing values and the fill switch are
  // carried over so the copy is usable as it stands.
  for (var_info& v : (*dst)->vars) std::vector<unsigned char>().swap(v.data);
  return 1;
}

int find_dim(const io_std* io, const char* name) {
  if (!io || !name) return -1;
  for (int i = 0; i < io->ndims; i++)
    if (io->dim_names[size_t(i)] == name) return i;
  return -1;
}

int find_dimix(const std::vector<int>& ids, int count, int id) {
  if (id < 0) return -1;
  for (int i = 0; i < count && size_t(i) < ids.size(); i++)
    if (ids[size_t(i)] == id) return i;
  return -1;
}

var_info* find_var(io_std* io, const char* name) {
  if (!io || !name) return nullptr;
  for (var_info& v : io->vars)
    if (v.name == name) return &v;
  return nullptr;
}

const netcdf_att* find_att(const std::vector<netcdf_att>& atts, const char* name) {
  if (!name) return nullptr;
  for (const netcdf_att& a : atts)
    if (a.name == name) return &a;
  return nullptr;
}

int read_variable_data(int ncid, var_info* var, const long* start, const long* count) {
  if (!var || ncid == kNoNetcdf) return 0;
  int size = nc_type_size(var->type);
  if (size == 0) return 0;
  size_t n = 1;
  for (int i = 0; i < var->ndims; i++) {
    if (count[i] < 0) return 0;
    size_t c = size_t(count[i]);
    if (c != 0 && n > std::numeric_limits<size_t>::max() / c / size_t(size)) return 0;
    n *= c;
  }
  // A larger buffer replaces the old one rather than growing from it (which
  // would copy it and take up to twice what is asked): a read takes what
  // the memory check counted.
  if (n * size_t(size) > var->data.capacity()) std::vector<unsigned char>().swap(var->data);
  var->data.resize(n * size_t(size));
  if (n == 0) return 1;
  quiet_nc q;
  return ncvarget(ncid, var->id, start, count, var->data.data()) == -1 ? 0 : 1;
}

namespace {

// Records up to this many bytes are read faster whole through a buffer than
// a value at a time.
constexpr size_t kShortRecord = 2048;

// Bytes of one value of a type a classic file holds, 0 for others.
size_t external_size(nc_type type) {
  switch (type) {
    case NC_BYTE:
    case NC_CHAR:
    case NC_UBYTE: return 1;
    case NC_SHORT:
    case NC_USHORT: return 2;
    case NC_INT:
    case NC_UINT:
    case NC_FLOAT: return 4;
    case NC_DOUBLE:
    case NC_INT64:
    case NC_UINT64: return 8;
    default: return 0;
  }
}

// Whether the record variable varid of a classic file shares short records
// with other variables: each variable takes its values of one record,
// padded to 4 bytes.
bool in_short_shared_records(int ncid, int varid, int recdim) {
  quiet_nc q;
  int nd = 0, nv = 0, na = 0, rec = -1;
  if (ncinquire(ncid, &nd, &nv, &na, &rec) == -1 || rec != recdim) return false;
  std::vector<int> dims(NC_MAX_VAR_DIMS);
  size_t record = 0;
  int sharing = 0;
  for (int id = 0; id < nv; id++) {
    char name[NC_MAX_NAME + 1];
    nc_type type = NC_NAT;
    int ndims = 0, natts = 0;
    if (ncvarinq(ncid, id, name, &type, &ndims, dims.data(), &natts) == -1) return false;
    if (ndims < 1 || ndims > NC_MAX_VAR_DIMS || dims[0] != rec) continue;
    size_t bytes = external_size(type);
    for (int d = 1; d < ndims && bytes <= kShortRecord; d++) {
      size_t len = 0;
      if (nc_inq_dimlen(ncid, dims[size_t(d)], &len) != NC_NOERR) return false;
      bytes *= len;
    }
    if (bytes > kShortRecord) return false;
    record += (bytes + 3) / 4 * 4;
    if (id != varid) sharing++;
  }
  return sharing > 0 && record <= kShortRecord;
}

}  // namespace

slice_handle::slice_handle(const io_std* io, const var_info& v) : shared_(io->ncid) {
  if (shared_ == kNoNetcdf || io->recdim < 0 || v.ndims != 1 || v.dimids[0] != io->recdim) return;
  int format = 0;
  if (nc_inq_format(shared_, &format) != NC_NOERR ||
      (format != NC_FORMAT_CLASSIC && format != NC_FORMAT_64BIT_OFFSET && format != NC_FORMAT_CDF5))
    return;
  if (!io->file_known || !in_short_shared_records(shared_, v.id, io->recdim)) return;
  size_t len = 0;
  if (nc_inq_path(shared_, &len, nullptr) != NC_NOERR || len == 0) return;
  std::string path(len, '\0');
  if (nc_inq_path(shared_, &len, path.data()) != NC_NOERR) return;
  size_t chunk = kReadChunk;
  int id = kNoNetcdf;
  // Failing that, the values are read through the file's own handle.
  if (nc__open(path.c_str(), NC_NOWRITE, &chunk, &id) != NC_NOERR) return;
  // Renamed over since the open: the values must come from the file the
  // rest of the set was read from.
  unsigned long long dev = 0, ino = 0;
  if (file_id(path.c_str(), &dev, &ino) && dev == io->file_dev && ino == io->file_ino)
    own_ = id;
  else
    nc_close(id);
}

slice_handle::~slice_handle() {
  if (own_ != kNoNetcdf) nc_close(own_);
}

int read_one_dimension(const io_std* io, var_info* var, int dim) {
  if (!io || !var || var->ndims != 1) return 0;
  long len = io->dim_size(dim);
  if (len < 0) return 0;
  long start = 0, count = len;
  return read_variable_data(io->ncid, var, &start, &count);
}

int convtype(const void* data, nc_type from, void* out, nc_type to, long from_index,
             long to_index) {
  if (from != NC_SHORT && from != NC_INT && from != NC_FLOAT && from != NC_DOUBLE &&
      !is_nc4_integer(from))
    return 0;
  double v;
  value_as_double(data, from, from_index, &v);
  switch (to) {
    case NC_SHORT: {
      int i;
      if (!to_int_range(v, &i)) return 0;
      // The low 16 bits of the 32-bit integer.
      static_cast<short*>(out)[to_index] = static_cast<short>(static_cast<unsigned>(i) & 0xffffu);
      return 1;
    }
    case NC_INT: {
      int i;
      if (!to_int_range(v, &i)) return 0;
      static_cast<int*>(out)[to_index] = i;
      return 1;
    }
    case NC_FLOAT: static_cast<float*>(out)[to_index] = static_cast<float>(v); return 1;
    case NC_DOUBLE: static_cast<double*>(out)[to_index] = v; return 1;
    default: return 0;
  }
}

int are_data_packed(const var_info* var, double* scale, double* offset, nc_type* att_type,
                    nc_type* var_type) {
  *var_type = var->type;
  *att_type = NC_NAT;
  *scale = 1;
  *offset = 0;
  const netcdf_att* s = find_att(var->atts, "scale_factor");
  if (!s) s = find_att(var->atts, "slope");
  const netcdf_att* o = find_att(var->atts, "add_offset");
  if (!o) o = find_att(var->atts, "intercept");
  if (!s && !o) {
    *att_type = var->type;
    return 0;
  }
  if (s) *att_type = s->type;
  if (o) *att_type = o->type;
  if (s && !s->number(0, scale)) *scale = 1;
  if (o && !o->number(0, offset)) *offset = 0;
  switch (*att_type) {
    case NC_BYTE:
    case NC_SHORT:
    case NC_INT: return (*scale == 1 && *offset == 0) ? 0 : 1;
    case NC_FLOAT:
      return (flt_equal(float(*scale), 1.0f) && flt_equal(float(*offset), 0.0f)) ? 0 : 1;
    case NC_DOUBLE: return (!dbl_equal(*scale, 1.0) && !dbl_equal(*offset, 0.0)) ? 0 : 1;
    default: return *att_type != var->type ? 1 : 0;
  }
}

int flt_equal(float a, float b) {
  if (a == b) return 1;
  float m = std::max(std::fabs(a), std::fabs(b));
  if (!(m >= 1.0f)) return 0;
  float scale = 10.0f;
  while (scale <= m && scale < 10000000.0f) scale *= 10.0f;
  float d = a - b;
  return (d >= -1e-7f * scale && d <= 1e-7f * scale) ? 1 : 0;
}

int dbl_equal(double a, double b) { return (a == b || std::fabs(a - b) <= 1e-7) ? 0 : 1; }

int fequal(float a, float b, float tolerance) { return std::fabs(a - b) <= tolerance ? 1 : 0; }

int dequal(double a, double b, double tolerance) { return std::fabs(a - b) <= tolerance ? 1 : 0; }

int decode_standard_time(double value, int* year, int* month, int* day, int* hour, int* minute,
                         double* second) {
  char text[400];
  std::snprintf(text, sizeof text, "%f", value);
  char* dot = std::strchr(text, '.');
  if (!dot) return 0;
  const char* begin = text;
  if (*begin == '-') begin++;
  int ndig = int(dot - begin);
  // Fields from the right: second (with the decimals), minute, hour, day,
  // month, two digits each; what is left over is the year.
  auto take2 = [&](int* out) {
    if (ndig <= 0) {
      *out = -1;
      return;
    }
    int n = ndig >= 2 ? 2 : ndig;
    int v = 0;
    for (int i = ndig - n; i < ndig; i++) v = v * 10 + (begin[i] - '0');
    ndig -= n;
    *out = v;
  };
  // The second keeps its decimals.
  {
    int n = ndig >= 2 ? 2 : ndig;
    *second = n > 0 ? std::atof(std::string(begin + ndig - n).c_str()) : -1;
    ndig -= n;
  }
  take2(minute);
  take2(hour);
  take2(day);
  take2(month);
  if (ndig > 0) {
    long y = 0;
    for (int i = 0; i < ndig && i < 9; i++) y = y * 10 + (begin[i] - '0');
    *year = ndig > 9 ? -1 : int(y);
  } else {
    *year = -1;
  }
  if (*year == 0 || *year == 9999) *year = -1;
  return 1;
}

int decode_delta_t(const char* text, int* year, int* month, int* day, int* hour, int* minute,
                   int* second) {
  *year = *month = *day = *hour = *minute = *second = -1;
  size_t len = std::strlen(text);
  if (len > 10) {
    if (text[10] != ' ') return 0;
    if (len > 13 && text[13] != ':') return 0;
    if (len > 16 && text[16] != ':') return 0;
  }
  auto field = [&](size_t pos, size_t n, int* out) {
    if (pos + n > len) return;
    char buf[8] = {};
    std::memcpy(buf, text + pos, n);
    char* end = nullptr;
    long v = std::strtol(buf, &end, 10);
    if (end != buf) *out = int(v);
  };
  field(0, 4, year);
  field(5, 2, month);
  field(8, 2, day);
  if (len > 10) {
    field(11, 2, hour);
    field(14, 2, minute);
    field(17, 2, second);
  }
  return 1;
}

bool coordinate_value(const void* data, nc_type type, long index, double* out) {
  float f;
  return convtype(data, type, &f, NC_FLOAT, index, 0) && std::isfinite(f) &&
         value_as_double(data, type, index, out);
}

bool linear_probe::add(double v) {
  if (count_ > 0 && !possible()) return false;
  if (count_++ == 0) {
    start_ = prev_ = v;
    prev_float_ = float(v);
    return true;
  }
  double a = v + shift_;
  if (wrap_ && a < prev_ - 180.0) {
    shift_ += 360.0;
    a += 360.0;
  }
  const long i = count_ - 1;
  const double off = a - start_;
  // Coordinates stored as floats are off the line by their rounding and
  // that of its two ends: at most this.
  const double rounding = std::ldexp(std::fmax(std::fmax(std::fabs(start_), std::fabs(a)),
                                               std::fmax(std::fabs(v), shift_ > 0 ? 360.0 : 0.0)),
                                     -22);
  rounded_.narrow(off, i, 0, rounding);
  half_step_.narrow(off, i, 0.5, 0);
  const float af = float(v) + float(shift_), d = af - prev_float_;
  if (i == 1) {
    if (!(d > 0) || !std::isfinite(1.0f / d)) neighbours_even_ = false;
  } else if (!fequal(step_float_, d, std::fabs(d) / 1000.0f)) {
    neighbours_even_ = false;
  }
  step_float_ = d;
  prev_float_ = af;
  prev_ = a;
  return possible();
}

bool linear_probe::even() const {
  if (count_ == 1) return true;
  const double s = increment();
  const float f = float(s);
  if (count_ < 1 || !(f > 0) || !std::isfinite(1.0f / f)) return false;
  return rounded_.holds(s) || (neighbours_even_ && half_step_.holds(s));
}

int deflin_probe(file_descriptor* pfi, int dim, int wrap, const linear_probe& p) {
  const double start = p.start(), incr = p.increment();
  if (!sdf_set_linear(pfi, dim, float(start), float(incr))) {
    kaprnt(msg_level::error, "Memory allocation error eval. lin. coord. for SDF.\n");
    return -1;
  }
  if (wrap) {
    if (p.count() > 1)
      set_x_wrap_linear(pfi, p.last() - start, incr);
    else
      set_x_wrap(pfi, false, false);
  }
  return 1;
}

int trydeflin(file_descriptor* pfi, var_info* var, int dim, int wrap, int reverse) {
  long n = -1;
  if (var->ndims == 1) {
    size_t size = size_t(nc_type_size(var->type));
    if (size) n = long(var->data.size() / size);
  }
  if (n < 1) {
    kaprnt(msg_level::error, "Couldn't convert coordinate value to float.\n");
    return -1;
  }
  // Every value must convert, also past the first uneven step.
  linear_probe probe(wrap != 0);
  for (long i = 0; i < n; i++) {
    double v;
    if (!coordinate_value(var->data.data(), var->type, reverse ? n - 1 - i : i, &v)) {
      kaprnt(msg_level::error, "Couldn't convert coordinate value to float.\n");
      return -1;
    }
    probe.add(v);
  }
  return probe.even() ? deflin_probe(pfi, dim, wrap, probe) : 0;
}
