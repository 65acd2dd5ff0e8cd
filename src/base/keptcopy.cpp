#include "base/keptcopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/safefile.h"

namespace {

enum class kept_state : int {
  idle,     // nothing for a signal to do: unused, or filled or emptied now
  copying,  // the copy is being made: a signal removes it
  armed,    // the file may be changed: a signal puts the copy back
};

}  // namespace

// One kept copy as the signal handler sees it. Entries are never freed:
// the list only grows and its idle entries are used again, so that any
// number of files is held and the handler never meets freed memory.
struct kept_entry {
  std::atomic<kept_state> state{kept_state::idle};
  std::atomic<bool> in_use{false};
  std::atomic<int> writer{-1};  // the writer's descriptor, silenced once put back
  int file = -1;                // a descriptor of the file of its own
  int copy = -1;                // the copy, open for reading
  off_t length = -1;            // or, for a file appended to, its length before
  char* name = nullptr;         // the copy's name
  kept_entry* next = nullptr;   // set before the entry is linked in
};

namespace {

std::atomic<kept_entry*> kept_head{nullptr};

kept_entry* claim_entry() {
  for (kept_entry* e = kept_head.load(); e; e = e->next) {
    bool free = false;
    if (e->in_use.compare_exchange_strong(free, true)) return e;
  }
  auto* e = new (std::nothrow) kept_entry;
  if (!e) {
    errno = ENOMEM;
    return nullptr;
  }
  e->in_use = true;
  e->next = kept_head.load();
  while (!kept_head.compare_exchange_weak(e->next, e)) {
  }
  return e;
}

// Gives an entry back for use again, closing what it held.
void release_kept_entry(kept_entry*& e) {
  if (e->file >= 0) ::close(e->file);
  if (e->copy >= 0) ::close(e->copy);
  std::free(e->name);
  e->file = e->copy = -1;
  e->length = -1;
  e->name = nullptr;
  e->writer = -1;
  e->in_use = false;
  e = nullptr;
}

// Copies all of from (read from its start) into to; false with errno set.
bool copy_all(int from, int to) {
  for (;;) {
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size_t(1) << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    break;  // not between these files: copied by hand from where it stopped
  }
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(from, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(to, buf + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return false;
      done += w;
    }
  }
}

// Writes the copy over the file from its start (cuts a file appended to back
// to its old length). Async-signal-safe, and with no offset shared with
// anyone: a put back interrupted by a signal that puts back the same file
// writes the same bytes.
bool write_back(const kept_entry& e) {
  if (e.copy < 0) return ::ftruncate(e.file, e.length) == 0;
  if (::ftruncate(e.file, 0) != 0) return false;
  char buf[16384];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(e.copy, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::pwrite(e.file, buf + done, size_t(n - done), at + done);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) return false;
      done += w;
    }
    at += n;
  }
}

// The writer's descriptor leads nowhere from now on: what its stream still
// holds is not flushed over the old contents at its close (or at exit).
void silence_writer(kept_entry& e) {
  const int fd = e.writer.exchange(-1);
  if (fd < 0) return;
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  ::dup3(null, fd, O_CLOEXEC);
  ::close(null);
}

// Puts an armed entry's old contents back (a kept copy that went back is
// removed) with the ending signals held, and lets the entry go. false with
// errno set when they could not be put back.
bool put_back_and_release(kept_entry*& e) {
  if (!e) return true;
  bool back = true;
  int why = 0;
  {
    ending_signals_held held;
    if (e->state.load() == kept_state::armed) {
      back = write_back(*e);
      why = errno;
      silence_writer(*e);
      if (back && e->name) ::unlink(e->name);
      e->state = kept_state::idle;
    }
  }
  release_kept_entry(e);
  if (!back) errno = why;
  return back;
}

}  // namespace

void put_back_kept_copies() {
  const int saved = errno;
  for (kept_entry* e = kept_head.load(); e; e = e->next) {
    const kept_state s = e->state.load();
    if (s == kept_state::copying) {
      ::unlink(e->name);
      e->state = kept_state::idle;
    } else if (s == kept_state::armed) {
      const bool back = write_back(*e);
      silence_writer(*e);
      if (!back) continue;  // the copy stays for the user
      if (e->name) ::unlink(e->name);
      e->state = kept_state::idle;
    }
  }
  errno = saved;
}

bool kept_copy_for(int fd) {
  struct stat st, kept;
  if (::fstat(fd, &st) != 0) return false;
  for (kept_entry* e = kept_head.load(); e; e = e->next)
    if (e->in_use.load() && e->file >= 0 && ::fstat(e->file, &kept) == 0 &&
        kept.st_dev == st.st_dev && kept.st_ino == st.st_ino)
      return true;
  return false;
}

bool kept_copy::keep(int fd, const std::string& path, const std::string& beside) {
  static const bool at_exit = std::atexit(put_back_kept_copies) == 0;
  (void)at_exit;
  const int from = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (from < 0) return false;
  struct stat w, r;
  const bool known = ::fstat(fd, &w) == 0 && ::fstat(from, &r) == 0;
  if (!known || w.st_dev != r.st_dev || w.st_ino != r.st_ino) {
    const int why = known ? EAGAIN : errno;  // EAGAIN: another file took the name
    ::close(from);
    errno = why;
    return false;
  }
  e_ = claim_entry();
  if (!e_) {
    ::close(from);
    return false;
  }
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string elsewhere =
      std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + beside.substr(beside.rfind('/'));
  int why = 0;
  for (const std::string* tmpl : {&beside, &elsewhere}) {
    why = 0;
    e_->name = ::strdup(tmpl->c_str());
    int copy = -1;
    if (e_->name) {
      // Removed at a signal from the moment it is made.
      ending_signals_held held;
      copy = ::mkostemp(e_->name, O_CLOEXEC);
      if (copy >= 0) e_->state = kept_state::copying;
    }
    if (copy >= 0) {
      if (::lseek(from, 0, SEEK_SET) == 0 && copy_all(from, copy)) {
        e_->copy = copy;
        break;
      }
      why = errno;
      {
        ending_signals_held held;
        ::unlink(e_->name);
        e_->state = kept_state::idle;
      }
      ::close(copy);
    } else {
      why = e_->name ? errno : ENOMEM;
    }
    std::free(e_->name);
    e_->name = nullptr;
  }
  ::close(from);
  if (!why) e_->file = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (why || e_->file < 0) {
    if (!why) why = errno;
    if (e_->copy >= 0) {
      ending_signals_held held;
      ::unlink(e_->name);
      e_->state = kept_state::idle;
    }
    release();
    errno = why;
    return false;
  }
  name_ = e_->name;
  e_->writer = fd;
  e_->state = kept_state::armed;
  return true;
}

void kept_copy::drop() {
  if (!e_) return;
  {
    ending_signals_held held;
    if (e_->state.load() != kept_state::idle) ::unlink(e_->name);
    e_->state = kept_state::idle;
  }
  release();
}

void kept_copy::release_writer() {
  if (e_) e_->writer = -1;
}

bool kept_copy::put_back() { return put_back_and_release(e_); }

kept_copy::~kept_copy() { put_back(); }

void kept_copy::release() { release_kept_entry(e_); }

bool kept_length::keep(int fd) {
  static const bool at_exit = std::atexit(put_back_kept_copies) == 0;
  (void)at_exit;
  struct stat st;
  if (::fstat(fd, &st) != 0) return false;
  if (!S_ISREG(st.st_mode)) {
    errno = EINVAL;
    return false;
  }
  e_ = claim_entry();
  if (!e_) return false;
  e_->file = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (e_->file < 0) {
    const int why = errno;
    release_kept_entry(e_);
    errno = why;
    return false;
  }
  e_->length = st.st_size;
  e_->writer = fd;
  e_->state = kept_state::armed;
  return true;
}

void kept_length::drop() {
  if (!e_) return;
  e_->state = kept_state::idle;
  release_kept_entry(e_);
}

bool kept_length::cut_back() { return put_back_and_release(e_); }

kept_length::~kept_length() { cut_back(); }
