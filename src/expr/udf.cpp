// User-defined functions: the table of external programs, and a call that
// writes the arguments to the transfer file, runs the program and reads the
// grid it left in the result file.
#include "base/alloc.h"
#include "expr/udf.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "base/dirlock.h"
#include "base/inputfile.h"
#include "base/message.h"
#include "base/scaling.h"
#include "base/safefile.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "expr/fshared.h"
#include "expr/func.h"

namespace {

// The user functions, in table order, held from one table load to the next:
// the records and the list through them that lookups walk.
struct udf_table {
  std::vector<std::unique_ptr<user_function>> functions;
  user_function* ufba = nullptr;  // head of the list
};

udf_table udfs;

void relink() {
  auto& table = udfs.functions;
  udfs.ufba = table.empty() ? nullptr : table.front().get();
  for (size_t k = 0; k < table.size(); k++)
    table[k]->next = k + 1 < table.size() ? table[k + 1].get() : nullptr;
}

// ---- the table file ----

struct kind_word {
  const char* word;
  udf_arg_kind kind;
};
constexpr kind_word kind_words[] = {
    {"expr", udf_arg_kind::expr}, {"value", udf_arg_kind::value}, {"char", udf_arg_kind::text}};

struct form_word {
  const char* word;
  int sequential;
};
constexpr form_word form_words[] = {{"direct", 0}, {"sequential", 1}};

std::string lowered(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Whole-word integer, or false.
bool whole_int(const std::string& w, int* v) {
  const char* end = intprs(w.c_str(), v);
  return end && *end == '\0';
}

// Name, counts and kinds. The name is filled as soon as it is read so that
// a format error can name it.
bool parse_head(const std::string& line, user_function* uf) {
  const std::string s = lowered(line);
  size_t p = s.find_first_not_of(' ');
  if (p == std::string::npos) return false;
  const size_t blank = s.find(' ', p);
  const std::string name = s.substr(p, blank == std::string::npos ? std::string::npos : blank - p);
  std::snprintf(uf->name, sizeof uf->name, "%.*s", kUdfNameLength, name.c_str());
  if (blank == std::string::npos) return false;
  std::istringstream words(s.substr(blank));
  std::string w;
  if (!(words >> w) || !whole_int(w, &uf->min_args)) return false;
  if (!(words >> w) || !whole_int(w, &uf->max_args)) return false;
  // More kinds than an entry holds are refused rather than cut.
  if (uf->min_args < 0 || uf->max_args < uf->min_args || uf->max_args > kUdfMaxKinds) return false;
  for (int k = 0; k < uf->max_args; k++) {
    if (!(words >> w)) return false;
    const kind_word* found = nullptr;
    for (const kind_word& kw : kind_words)
      if (w == kw.word) found = &kw;
    if (!found) return false;
    uf->arg_types[k] = found->kind;
  }
  return true;
}

bool parse_form(const std::string& line, user_function* uf) {
  std::istringstream words(lowered(line));
  std::string w;
  bool any = false;
  while (words >> w) {
    const form_word* found = nullptr;
    for (const form_word& fw : form_words)
      if (w == fw.word) found = &fw;
    if (!found) return false;
    uf->sequential = found->sequential;
    any = true;
  }
  return any;
}

void format_error(const user_function* uf, const std::string& file) {
  kaprnt(msg_level::error, "Format error in user defined function table:\n");
  kaprntf(msg_level::error, "  Processing function name: %s\n", uf->name);
  kaprntf(msg_level::error, "  File name is: %s\n", file.c_str());
}

void read_error(const std::string& file) {
  kaprnt(msg_level::error, "Read error on user defined function table:\n");
  kaprntf(msg_level::error, "  File name is: %s\n", file.c_str());
}

// Appends the functions of one table. False when reading must stop.
bool read_table(input_file& f, const std::string& file) {
  std::string line;
  while (true) {
    auto uf = std::make_unique<user_function>();
    line_read st = f.next_line(line, size_t(kUdfLineLength));
    if (st == line_read::end) return true;
    if (st == line_read::interrupted) {
      read_error(file);
      return false;
    }
    // A head line too long still names its function (its first word).
    if (!parse_head(line, uf.get()) || st == line_read::too_long) {
      format_error(uf.get(), file);
      return false;
    }
    std::string rest[4];
    for (std::string& r : rest) {
      st = f.next_line(r, size_t(kUdfLineLength));
      if (st == line_read::end || st == line_read::interrupted) {
        read_error(file);
        return false;
      }
      if (st == line_read::too_long) {
        format_error(uf.get(), file);
        return false;
      }
    }
    if (!parse_form(rest[0], uf.get())) {
      format_error(uf.get(), file);
      return false;
    }
    uf->command = rest[1];
    uf->transfer_file = rest[2];
    uf->result_file = rest[3];
    udfs.functions.push_back(std::move(uf));
    relink();
  }
}

struct file_closer {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// ---- records of the transfer and result files ----

// Writes one record, framed by its byte count in sequential form.
bool put_record(std::FILE* f, const void* data, size_t bytes, bool sequential) {
  if (sequential) {
    if (bytes > size_t(INT32_MAX)) return false;
    const std::int32_t n = std::int32_t(bytes);
    if (std::fwrite(&n, 4, 1, f) != 1) return false;
    if (bytes && std::fwrite(data, bytes, 1, f) != 1) return false;
    return std::fwrite(&n, 4, 1, f) == 1;
  }
  return !bytes || std::fwrite(data, bytes, 1, f) == 1;
}

enum class read_status { ok, short_read, bad_count };

read_status get_record(std::FILE* f, void* data, size_t bytes, bool sequential) {
  std::int32_t n = 0;
  if (sequential) {
    if (std::fread(&n, 4, 1, f) != 1) return read_status::short_read;
    if (n < 0 || size_t(n) != bytes) return read_status::bad_count;
  }
  if (bytes && std::fread(data, bytes, 1, f) != 1) return read_status::short_read;
  if (sequential && std::fread(&n, 4, 1, f) != 1) return read_status::short_read;
  return read_status::ok;
}

// A header float as an integer: value plus 0.1, truncated (floored when
// asked); out of range values give a number every check refuses.
int header_int(float v, bool floored) {
  const double d = double(v) + 0.1;
  if (!std::isfinite(d) || std::fabs(d) > 2.0e9) return INT32_MIN;
  return int(floored ? std::floor(d) : d);
}

struct call {
  const user_function* uf;
  eval_state* pst;
  bool seq() const { return uf->sequential != 0; }
  int fail2(const char* what, const std::string& file) const {
    kaprntf(msg_level::error, "Error from %s: %s\n", uf->name, what);
    kaprntf(msg_level::error, "  File name: %s\n", file.c_str());
    return 1;
  }
};

// ---- writing the arguments ----

float world_of(conversion_fn fn, const float* vals, int d, int g) {
  return d == 3 ? float(g) : fn(vals, float(g));
}

// Header, values and coordinates of one grid argument.
bool put_grid(std::FILE* f, const grid_field* g, bool seq) {
  float h[20] = {};
  h[0] = g->undef;
  h[1] = float(g->idim);
  h[2] = float(g->jdim);
  h[3] = float(g->isiz);
  h[4] = float(g->jsiz);
  struct side {
    int dim, lin, first;
    conversion_fn fn;
    const float* vals;
  };
  const side sides[2] = {{g->idim, g->i_linear, g->idim >= 0 ? g->dim_min[g->idim] : 1,
                          g->i_to_world, g->i_world_vals},
                         {g->jdim, g->j_linear, g->jdim >= 0 ? g->dim_min[g->jdim] : 1,
                          g->j_to_world, g->j_world_vals}};
  for (int k = 0; k < 2; k++) {
    const side& s = sides[k];
    if (s.dim < 0) continue;
    h[5 + k] = s.dim == 3 ? 1.0f : float(s.lin);
    if (s.dim == 3) {
      h[7 + 2 * k] = h[8 + 2 * k] = -999.0f;
      const time_scaling ts = time_scaling_from(s.vals);
      date_time t{};
      gr2t(&ts, s.first, &t);
      h[11] = float(t.year);
      h[12] = float(t.month);
      h[13] = float(t.day);
      h[14] = float(t.hour);
      h[15] = float(t.minute);
      h[16] = ts.increment_minutes;
      h[17] = ts.increment_months;
    } else if (s.lin) {
      h[7 + 2 * k] = s.fn(s.vals, float(s.first));
      h[8 + 2 * k] = s.fn(s.vals, float(s.first + 1)) - h[7 + 2 * k];
    }
  }
  if (!put_record(f, h, sizeof h, seq)) return false;
  if (!put_record(f, g->values, sizeof(float) * size_t(grid_points(g)), seq)) return false;
  for (int k = 0; k < 2; k++) {
    const side& s = sides[k];
    if (s.dim < 0) continue;
    const int n = k == 0 ? g->isiz : g->jsiz;
    std::vector<float> w(static_cast<size_t>(n));
    for (int p = 0; p < n; p++) w[size_t(p)] = world_of(s.fn, s.vals, s.dim, s.first + p);
    if (!put_record(f, w.data(), sizeof(float) * w.size(), seq)) return false;
  }
  return true;
}

// ---- the call's hold on its files ----

// True when st, the file under path, is another user's in a directory that
// others may write: someone else put it there (a plant in a sticky /tmp), and
// would read the arguments written to it or make up the answer read from it.
bool planted(const std::string& path, const struct stat& st) {
  if (st.st_uid == ::geteuid()) return false;
  struct stat dir;
  return ::stat(directory_of(path).c_str(), &dir) == 0 && (dir.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

std::string planted_refusal(const std::string& path) {
  return path + " belongs to another user in a directory others may write, not used";
}

// Exclusive hold on one file of a call. The table fixes the names of the
// transfer and result files, so a second session calling a function that
// shares either of them waits its turn instead of mixing the two calls.
// The file is opened without following a symbolic link: in a shared
// directory a link planted by another user would make the call write
// through it.
class file_hold {
 public:
  file_hold() = default;
  ~file_hold() { release(); }
  file_hold(const file_hold&) = delete;
  file_hold& operator=(const file_hold&) = delete;

  enum class result { held, cannot_open, interrupted };

  // Opens path, making it if need be, without locking it. On cannot_open,
  // refusal() says why.
  result open(const std::string& path) {
    release();
    why_.clear();
    struct stat named;
    if (::lstat(path.c_str(), &named) == 0 && S_ISREG(named.st_mode) && planted(path, named)) {
      why_ = planted_refusal(path);
      return result::cannot_open;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      // Another user's link in a sticky directory fails the create with
      // EACCES rather than ELOOP: it is still a link that was refused.
      const int err = errno;
      const bool link =
          err == ELOOP || (::lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode));
      why_ = input_refusal(path, link ? input_status::symlink : input_status::cannot_open, err);
      return result::cannot_open;
    }
    if (::fstat(fd, &id_) != 0) {
      why_ = input_refusal(path, input_status::cannot_open, errno);
      ::close(fd);
      return result::cannot_open;
    }
    // Checked again on what was opened: the name may have changed since.
    if (!S_ISREG(id_.st_mode) || planted(path, id_)) {
      why_ = S_ISREG(id_.st_mode) ? planted_refusal(path)
                                  : input_refusal(path, input_status::not_regular, 0);
      ::close(fd);
      return result::cannot_open;
    }
    fd_ = fd;
    path_ = path;
    return result::held;
  }

  // Locks the opened file, waiting while another holds it; the wait polls
  // the interrupt, and a long one is said: another session's call may be
  // stopped or slow.
  result lock() const {
    switch (flock_waiting(fd_, LOCK_EX, 5000, path_)) {
      case lock_wait::held: return result::held;
      case lock_wait::interrupted: return result::interrupted;
      case lock_wait::failed: break;
    }
    return result::cannot_open;
  }

  void release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  // Whether this hold is on the file that path names.
  bool same_file(const std::string& path) const {
    struct stat b;
    return fd_ >= 0 && ::lstat(path.c_str(), &b) == 0 && id_.st_dev == b.st_dev &&
           id_.st_ino == b.st_ino;
  }

  // Locks are taken in the order of the files, never of their names' spelling.
  bool before(const file_hold& o) const {
    return id_.st_dev != o.id_.st_dev ? id_.st_dev < o.id_.st_dev : id_.st_ino < o.id_.st_ino;
  }
  bool same_file(const file_hold& o) const {
    return id_.st_dev == o.id_.st_dev && id_.st_ino == o.id_.st_ino;
  }

  // Why open() failed.
  const std::string& refusal() const { return why_; }

  // Empties the held file.
  bool truncate() const { return ::ftruncate(fd_, 0) == 0; }

  // Removes the held file when it is empty: one made by the hold for a call
  // that never ran its program.
  void remove_if_empty(const std::string& path) const {
    struct stat st;
    if (same_file(path) && ::fstat(fd_, &st) == 0 && st.st_size == 0) ::unlink(path.c_str());
  }

  // A stream writing the held file from its start (nullptr on failure).
  std::FILE* rewrite() const {
    if (!truncate()) return nullptr;
    const int dup = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (dup < 0) return nullptr;
    return fdopen_owning(dup, "wb");
  }

 private:
  int fd_ = -1;
  struct stat id_ {};
  std::string why_;
  std::string path_;  // the name opened, for the wait
};

// The hold of a call over both its files. Every session takes the two locks
// in the order of the files themselves (device, then inode), so two sessions
// whose tables spell one file differently ("b.bin", "/dir/b.bin") never each
// hold one lock and wait for the other's. A result file that is the transfer
// file is held once.
class call_hold {
 public:
  explicit call_hold(const user_function* uf) : uf_(uf) {}
  // Files the hold made stay only once the program has run.
  ~call_hold() {
    if (ran_) return;
    transfer_.remove_if_empty(uf_->transfer_file);
    if (!shared_) result_.remove_if_empty(uf_->result_file);
  }
  call_hold(const call_hold&) = delete;
  call_hold& operator=(const call_hold&) = delete;

  enum class which { transfer, result };
  // Takes both; on failure failed() tells which file and the result why.
  file_hold::result take() {
    for (;;) {
      shared_ = nullptr;
      if (const file_hold::result r = transfer_.open(uf_->transfer_file);
          r != file_hold::result::held) {
        failed_ = which::transfer;
        return r;
      }
      if (const file_hold::result r = result_.open(uf_->result_file);
          r != file_hold::result::held) {
        failed_ = which::result;
        return r;
      }
      // Two spellings of one file: a second lock on it would wait on our own.
      if (transfer_.same_file(result_)) {
        result_.release();
        shared_ = &transfer_;
      }
      file_hold* order[2] = {&transfer_, shared_ ? nullptr : &result_};
      if (order[1] && order[1]->before(*order[0])) std::swap(order[0], order[1]);
      for (file_hold* h : order) {
        if (!h) continue;
        if (const file_hold::result r = h->lock(); r != file_hold::result::held) {
          failed_ = h == &transfer_ ? which::transfer : which::result;
          return r;
        }
      }
      // The holder before removes the files when done: what is held must be
      // what the names are now, else the names are opened again.
      if (transfer_.same_file(uf_->transfer_file) &&
          (shared_ || result_.same_file(uf_->result_file)))
        return file_hold::result::held;
      transfer_.release();
      result_.release();
    }
  }
  which failed() const { return failed_; }
  const std::string& refusal() const {
    return (failed_ == which::result ? result_ : transfer_).refusal();
  }
  const file_hold& transfer() const { return transfer_; }
  const file_hold& result() const { return shared_ ? *shared_ : result_; }
  // The result file is the transfer file.
  bool shared() const { return shared_ != nullptr; }
  void ran() { ran_ = true; }

 private:
  const user_function* uf_;
  file_hold transfer_, result_;
  bool ran_ = false;
  which failed_ = which::transfer;
  // The one hold serving as both files, if they are one.
  const file_hold* shared_ = nullptr;
};

// ---- writing the arguments ----

// The arguments checked and evaluated before the files are taken, so a call
// inside an argument never meets its caller's hold, and the hold is short.
struct arg_value {
  float value = 0;
  grid_ptr grid;
};

int gather_args(const call& c, function_args* args, std::vector<arg_value>& out) {
  const user_function* uf = c.uf;
  out.resize(size_t(args->count));
  for (int k = 0; k < args->count; k++) {
    const char* a = args->args[k];
    if (uf->arg_types[k] == udf_arg_kind::value) {
      const char* end = valprs(a, &out[size_t(k)].value);
      if (!end || *end != '\0') {
        kaprntf(msg_level::error, "Error from %s: Invalid Argument\n", uf->name);
        kaprntf(msg_level::error, "  Expecting arg %i to be a constant\n", k);
        return 1;
      }
    } else if (uf->arg_types[k] == udf_arg_kind::expr) {
      const int rc = kaexpr(a, c.pst);
      if (rc) return rc;
      out[size_t(k)].grid = take_grid(c.pst);
      if (!out[size_t(k)].grid) return -1;
    }
  }
  return 0;
}

int write_transfer(const call& c, function_args* args, const std::vector<arg_value>& vals,
                   const file_hold& lock) {
  const user_function* uf = c.uf;
  file_ptr f(lock.rewrite());
  if (!f) return c.fail2("Error opening transfer file", uf->transfer_file);
  auto write_error = [&] { return c.fail2("Error writing to transfer file", uf->transfer_file); };
  float head[20] = {};
  head[0] = float(args->count);
  if (!put_record(f.get(), head, sizeof head, c.seq())) return write_error();
  for (int k = 0; k < args->count; k++) {
    const char* a = args->args[k];
    const arg_value& v = vals[size_t(k)];
    bool ok = true;
    switch (uf->arg_types[k]) {
      case udf_arg_kind::value: ok = put_record(f.get(), &v.value, sizeof v.value, c.seq()); break;
      case udf_arg_kind::text: {
        char text[80];
        std::memset(text, ' ', sizeof text);
        std::memcpy(text, a, std::min(sizeof text, std::strlen(a)));
        ok = put_record(f.get(), text, sizeof text, c.seq());
        break;
      }
      case udf_arg_kind::expr: ok = put_grid(f.get(), v.grid.get(), c.seq()); break;
    }
    if (!ok) return write_error();
  }
  if (std::fclose(f.release()) != 0) return write_error();
  return 0;
}

// ---- reading the result ----

// Gives one side of the result its scaling from the header floats; levels
// come later from their own record.
bool set_side(grid_field* g, int side, int dim, int linear, const float* h) {
  float*& vals = side == 0 ? g->i_world_vals : g->j_world_vals;
  float*& gvals = side == 0 ? g->i_grid_vals : g->j_grid_vals;
  conversion_fn& to_world = side == 0 ? g->i_to_world : g->j_to_world;
  conversion_fn& to_grid = side == 0 ? g->i_to_grid : g->j_to_grid;
  if (dim == 3) {
    vals = static_cast<float*>(kamalloc(sizeof(float) * 8));
    const float t[8] = {h[11], h[12], h[13], h[14], h[15], h[17], h[16], scaling_end_mark};
    std::memcpy(vals, t, sizeof t);
    gvals = vals;
    return true;
  }
  if (!linear) return true;
  auto* block = static_cast<linear_scaling*>(kamalloc(sizeof(linear_scaling)));
  linear_scaling_set(block, h[7 + 2 * side], h[8 + 2 * side]);
  vals = block->grid_to_world;
  gvals = block->world_to_grid;
  to_world = to_grid = liconv;
  return true;
}

int read_result(const call& c) {
  const user_function* uf = c.uf;
  const std::string& rf = uf->result_file;
  const char* name = uf->name;
  // Read through the input gate, again without following a link: the
  // program may have put a new file under the name.
  input_file f(rf, "rb", input_links::refuse);
  if (!f.ok()) {
    c.fail2("Error opening transfer file", rf);
    if (f.status() != input_status::cannot_open)
      kaprntf(msg_level::error, "  %s\n", f.refusal().c_str());
    return 1;
  }
  // The call made the file empty before the program ran: still empty, the
  // program wrote no answer, which is the open error; the empty file goes.
  struct stat sb {};
  if (fstat(fileno(f.get()), &sb) == 0 && planted(rf, sb)) {
    c.fail2("Error opening transfer file", rf);
    kaprntf(msg_level::error, "  %s\n", planted_refusal(rf).c_str());
    return 1;
  }
  if (sb.st_size == 0) {
    f.close();
    std::remove(rf.c_str());
    return c.fail2("Error opening transfer file", rf);
  }
  auto invalid = [&] { return c.fail2("Invalid transfer file format", rf); };
  auto fail_read = [&](read_status st) {
    return st == read_status::bad_count ? invalid()
                                        : c.fail2("Error reading from transfer file", rf);
  };
  auto memory = [&] {
    kaprntf(msg_level::error, "Error from %s: Memory Allocation Error\n", name);
    return 1;
  };
  float status[20], h[20];
  read_status st = get_record(f.get(), status, sizeof status, c.seq());
  if (st != read_status::ok) return fail_read(st);
  if (header_int(status[0], false) != 0) return 1;
  st = get_record(f.get(), h, sizeof h, c.seq());
  if (st != read_status::ok) return fail_read(st);

  const int idim = header_int(h[1], true), jdim = header_int(h[2], true);
  const int isiz = header_int(h[3], false), jsiz = header_int(h[4], false);
  const int ilin = header_int(h[5], false), jlin = header_int(h[6], false);
  auto dim_ok = [](int d, int n, int lin) {
    return d >= -1 && d <= 3 && lin >= 0 && lin <= 1 && n >= 1 && (d >= 0 || n == 1);
  };
  // A grid varies j only when it varies i; a time side is always linear; a
  // linear side needs a non-zero increment; the undefined value must be a
  // number (a NaN would pass every missing point as data).
  bool ok = dim_ok(idim, isiz, ilin) && dim_ok(jdim, jsiz, jlin) && (idim >= 0 || jdim < 0) &&
            std::isfinite(h[0]);
  if (ok && idim == 3) ok = ilin == 1;
  if (ok && jdim == 3) ok = jlin == 1;
  if (ok && idim >= 0 && idim < 3 && ilin)
    ok = h[8] != 0.0f && std::isfinite(h[7]) && std::isfinite(h[8]);
  if (ok && jdim >= 0 && jdim < 3 && jlin)
    ok = h[10] != 0.0f && std::isfinite(h[9]) && std::isfinite(h[10]);
  if (!ok) return invalid();
  const auto varies = [&](int d) { return d < 0 || d == c.pst->idim || d == c.pst->jdim; };
  if ((jdim >= 0 && jdim <= idim) || !varies(idim) || !varies(jdim)) {
    kaprntf(msg_level::error, "Error from %s: Invalid dimension environment ", name);
    kaprnt(msg_level::error, "in result grid\n");
    return 1;
  }
  // The records still to come must fit in what the file holds, so that a
  // header claiming a huge grid allocates nothing.
  const long long points = static_cast<long long>(isiz) * jsiz;
  const long long levels = (idim >= 0 && !ilin ? isiz : 0) + (jdim >= 0 && !jlin ? jsiz : 0);
  const long here = std::ftell(f.get());
  if (fstat(fileno(f.get()), &sb) != 0 || here < 0 ||
      (points + levels) * 4 > static_cast<long long>(sb.st_size) - here)
    return c.fail2("Error reading from transfer file", rf);

  grid_ptr g(static_cast<grid_field*>(kacalloc(1, sizeof(grid_field))));
  g->undef = h[0];
  g->idim = idim;
  g->jdim = jdim;
  g->isiz = isiz;
  g->jsiz = jsiz;
  g->i_linear = idim >= 0 ? ilin : 1;
  g->j_linear = jdim >= 0 ? jlin : 1;
  g->owns_scaling = 1;
  for (int d = 0; d < 4; d++) g->dim_min[d] = g->dim_max[d] = 1;
  if (idim >= 0) g->dim_max[idim] = isiz;
  if (jdim >= 0) g->dim_max[jdim] = jsiz;
  if (idim >= 0 && !set_side(g.get(), 0, idim, ilin, h)) return memory();
  if (jdim >= 0 && !set_side(g.get(), 1, jdim, jlin, h)) return memory();
  if (idim < 0) {
    g->values = &g->min_value;
  } else {
    kareserve(double(points), double(points) * sizeof(float));
    g->values = static_cast<float*>(kamalloc(sizeof(float) * size_t(points)));
  }
  st = get_record(f.get(), g->values, sizeof(float) * size_t(points), c.seq());
  if (st != read_status::ok) return fail_read(st);
  // No NaN is kept in a grid: such points become missing.
  for (long long k = 0; k < points; k++)
    if (!std::isfinite(g->values[k])) g->values[k] = g->undef;
  for (int side = 0; side < 2; side++) {
    const int d = side == 0 ? idim : jdim;
    const int lin = side == 0 ? ilin : jlin;
    if (d < 0 || lin) continue;
    const int n = side == 0 ? isiz : jsiz;
    float* lv = level_scaling_new(n);
    if (!lv) return memory();
    (side == 0 ? g->i_world_vals : g->j_world_vals) = lv;
    (side == 0 ? g->i_grid_vals : g->j_grid_vals) = lv;
    (side == 0 ? g->i_to_world : g->j_to_world) = gr2lev;
    (side == 0 ? g->i_to_grid : g->j_to_grid) = lev2gr;
    lv[0] = float(n);
    lv[n + 1] = scaling_end_mark;
    st = get_record(f.get(), lv + 1, sizeof(float) * size_t(n), c.seq());
    if (st != read_status::ok) return fail_read(st);
    // Levels are numbers, as a descriptor's must be.
    if (!std::all_of(lv + 1, lv + 1 + n, [](float x) { return std::isfinite(x); }))
      return invalid();
  }
  f.close();
  std::remove(uf->transfer_file.c_str());
  std::remove(rf.c_str());
  kamnmx(g.get());
  give_grid(c.pst, std::move(g));
  return 0;
}

}  // namespace

void kafclr() {
  udfs.functions.clear();
  relink();
}

void kafdef(const std::string& data_dir_table) {
  kafclr();
  if (const char* env = std::getenv("KAUDFT")) {
    input_file f(env, "r");
    if (!f.ok()) {
      kaprnt(msg_level::error, "Error opening user function definition table\n");
      kaprntf(msg_level::error, "  File name is: %s\n", env);
      if (f.status() == input_status::not_regular)
        kaprntf(msg_level::error, "  %s\n", f.refusal().c_str());
    } else if (!read_table(f, env)) {
      return;
    }
  }
  // The data directory's table is optional: one that cannot be read is passed over.
  input_file f(data_dir_table, "r");
  if (f.ok()) read_table(f, data_dir_table);
}

user_function* kaufnd(const char* name) {
  for (user_function* uf = udfs.ufba; uf; uf = uf->next)
    if (cmpwrd(uf->name, name)) return uf;
  return nullptr;
}

void kaqufb() {
  for (const user_function* uf = udfs.ufba; uf; uf = uf->next)
    kaprntf(msg_level::result, "%s  Args: %i %i  Exec: %s\n", uf->name, uf->min_args, uf->max_args,
            uf->command.c_str());
}

int ffuser(user_function* uf, function_args* args, eval_state* pst) {
  if (args->count < uf->min_args || args->count > uf->max_args) {
    kaprntf(msg_level::error, "Error from %s: Too many or too few args\n", uf->name);
    return 1;
  }
  const call c{uf, pst};
  std::vector<arg_value> vals;
  if (const int rc = gather_args(c, args, vals)) return rc;
  call_hold hold(uf);
  switch (hold.take()) {
    case file_hold::result::held: break;
    case file_hold::result::cannot_open: {
      const bool result = hold.failed() == call_hold::which::result;
      const std::string& path = result ? uf->result_file : uf->transfer_file;
      c.fail2("Error opening transfer file", path);
      if (!hold.refusal().empty()) kaprntf(msg_level::error, "  %s\n", hold.refusal().c_str());
      return 1;
    }
    case file_hold::result::interrupted:
      return c.fail2(
          "Interrupted while waiting for the transfer file",
          hold.failed() == call_hold::which::result ? uf->result_file : uf->transfer_file);
  }
  if (const int rc = write_transfer(c, args, vals, hold.transfer())) return rc;
  // An answer left by an earlier call must not pass for this call's.
  if (!hold.shared() && !hold.result().truncate())
    return c.fail2("Error opening transfer file", uf->result_file);
  // Earlier output must come before the program's own.
  std::fflush(nullptr);
  hold.ran();
  // The program answers through the result file only; one that Ctrl-C
  // ended interrupts the command as a Ctrl-C at the prompt would.
  kashell(uf->command);
  if (kaqsig()) return 1;
  return read_result(c);
}
