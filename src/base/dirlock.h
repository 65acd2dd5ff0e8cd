// A lock on a directory, for the writers that rename several files into it
// as one set (the GRIB data, index and descriptor of one output) and the
// readers that open such a set: the writer holds it exclusively over its
// renames, a reader shared over its opens, so a reader never opens one
// version's descriptor or index beside another version's data.
#pragma once

#include <string>

// How a wait for a lock ended.
enum class lock_wait { held, failed, interrupted };

// Locks fd with flock (op LOCK_SH or LOCK_EX), trying again after pause_us
// microseconds while another holds it; the wait polls the interrupt.
lock_wait flock_waiting(int fd, int op, unsigned pause_us);

class directory_lock {
 public:
  enum class mode { shared, exclusive };
  // Locks the directory of file, waiting while another holds it the other
  // way; the wait polls the interrupt. A directory that can't be opened or
  // locked (no read permission, an interrupt) is not locked: held() says so.
  directory_lock(const std::string& file, mode how);
  ~directory_lock();
  directory_lock(const directory_lock&) = delete;
  directory_lock& operator=(const directory_lock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};
