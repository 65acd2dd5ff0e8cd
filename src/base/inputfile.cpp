#include "base/inputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/safefile.h"
#include "base/session.h"

namespace {

// Bytes read between two looks at the interrupt flag.
constexpr std::size_t kPollBytes = std::size_t(1) << 16;

}  // namespace

input_status check_input(const std::string& path) {
  if (path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return input_status::cannot_open;
  }
  // Opened without blocking, so a pipe with no writer is not waited for.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return input_status::cannot_open;
  struct stat st;
  int fail = ::fstat(fd, &st) != 0 ? errno : 0;
  ::close(fd);
  if (fail) {
    errno = fail;
    return input_status::cannot_open;
  }
  if (S_ISREG(st.st_mode)) return input_status::ok;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return input_status::not_regular;
}

std::string input_refusal(const std::string& path, input_status st, int err) {
  if (st == input_status::not_regular) return path + " is not a regular file";
  if (st == input_status::symlink) return path + " is a symbolic link, not followed";
  return std::strerror(err ? err : EIO);
}

input_file::input_file(const std::string& path, const char* mode, input_links links) : path_(path) {
  errno = 0;
  const bool refuse_links = links == input_links::refuse;
  bool not_regular = false;
  f_ = fopen_regular(path, mode, !refuse_links, &not_regular);
  if (f_) {
    status_ = input_status::ok;
    return;
  }
  // A name holding a NUL byte is no file at all.
  bool nul = path.find('\0') != std::string::npos;
  err_ = nul ? ENOENT : errno;
  status_ = not_regular ? input_status::not_regular : input_status::cannot_open;
  if (refuse_links && err_ == ELOOP) status_ = input_status::symlink;
  errno = err_;
}

input_file::~input_file() { close(); }

input_file::input_file(input_file&& o) noexcept
    : f_(std::exchange(o.f_, nullptr)),
      path_(std::move(o.path_)),
      status_(o.status_),
      err_(o.err_),
      since_poll_(o.since_poll_),
      interrupted_(o.interrupted_) {}

input_file& input_file::operator=(input_file&& o) noexcept {
  if (this != &o) {
    close();
    f_ = std::exchange(o.f_, nullptr);
    path_ = std::move(o.path_);
    status_ = o.status_;
    err_ = o.err_;
    since_poll_ = o.since_poll_;
    interrupted_ = o.interrupted_;
  }
  return *this;
}

bool input_file::close() {
  if (!f_) return true;
  bool ok = std::fclose(f_) == 0;
  f_ = nullptr;
  return ok;
}

bool input_file::poll(std::size_t bytes) {
  since_poll_ += bytes;
  if (since_poll_ < kPollBytes) return true;
  since_poll_ = 0;
  if (kaqsig()) interrupted_ = true;
  return !interrupted_;
}

line_read input_file::next_line(std::string& out, std::size_t max) {
  out.clear();
  if (!f_ || interrupted_) return interrupted_ ? line_read::interrupted : line_read::end;
  bool over = false;
  bool any = false;
  int c;
  while ((c = std::getc(f_)) != EOF) {
    any = true;
    if (!poll(1)) return line_read::interrupted;
    if (c == '\n') break;
    if (out.size() >= max) {
      over = true;
      continue;
    }
    out.push_back(static_cast<char>(c));
  }
  if (!any) return line_read::end;
  return over ? line_read::too_long : line_read::ok;
}

void drop_line_end_returns(std::string& text) {
  std::size_t out = 0, returns = 0;
  for (const char c : text) {
    if (c == '\r') {
      ++returns;
      continue;
    }
    if (c != '\n')
      for (; returns > 0; --returns) text[out++] = '\r';
    returns = 0;
    text[out++] = c;
  }
  text.resize(out);
}

std::size_t input_file::read(void* buf, std::size_t n) {
  if (!f_) return 0;
  auto* p = static_cast<unsigned char*>(buf);
  std::size_t done = 0;
  while (done < n && !interrupted_) {
    std::size_t piece = n - done < kPollBytes ? n - done : kPollBytes;
    std::size_t got = std::fread(p + done, 1, piece, f_);
    done += got;
    if (got < piece) break;
    poll(got);
  }
  return done;
}

input_file open_first(const std::vector<std::string>& names, std::string& refused) {
  input_file in;
  for (const std::string& path : names) {
    in = input_file(path, "rb");
    if (in.ok()) break;
    if (in.status() == input_status::not_regular) refused += "  " + in.refusal() + "\n";
  }
  return in;
}
