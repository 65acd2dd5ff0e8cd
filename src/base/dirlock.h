// Locks for files renamed into place as one set (the GRIB data, index and
// descriptor of one output). Writers of one directory take turns through a
// lock on the directory. Readers, who may have no right to list the
// directory, lock the set's descriptor, the file every reader of the set
// opens: shared while they read the set's files, and the writer takes it
// exclusively over its renames, so a reader never opens one version's
// descriptor or index beside another version's data.
#pragma once

#include <string>

// How a wait for a lock ended.
enum class lock_wait { held, failed, interrupted };

// Locks fd with flock (op LOCK_SH or LOCK_EX), trying again after pause_us
// microseconds while another holds it; the wait polls the interrupt. With a
// name, a wait of about a second is said once on standard error, naming it
// and that another process holds it, so that a writer held up by another
// user's lock or a stopped reader is not silent for ever.
lock_wait flock_waiting(int fd, int op, unsigned pause_us, const std::string& name = "");

class directory_lock {
 public:
  enum class mode { shared, exclusive };
  // Locks the directory of file, waiting while another holds it the other
  // way (said after a second); the wait polls the interrupt. A directory
  // that can't be opened or locked (no read permission, an interrupt) is not
  // locked: held() says so, and interrupted() whether an interrupt ended the
  // wait (the writer then gives its output up).
  directory_lock(const std::string& file, mode how);
  ~directory_lock();
  directory_lock(const directory_lock&) = delete;
  directory_lock& operator=(const directory_lock&) = delete;

  bool held() const { return fd_ >= 0; }
  bool interrupted() const { return interrupted_; }

 private:
  int fd_ = -1;
  bool interrupted_ = false;
};

// Locks fd, open on the file under name, with flock (op LOCK_SH or LOCK_EX)
// as flock_waiting does. A writer may have renamed another file onto the
// name meanwhile: once the lock is held the name must still be the file
// locked, else the lock is given up and moved set (open the name again).
// With say_wait a long wait is said as flock_waiting does.
lock_wait flock_under_name(int fd, const std::string& name, int op, bool& moved,
                           bool say_wait = false);

// A writer's exclusive lock on the file under a name (links followed), over
// the renames that replace it: it waits for the readers that hold it shared
// and holds off those that come. When no regular file is under the name (or
// it can't be opened, or an interrupt ends the wait) nothing is held;
// interrupted() tells the interrupt. A wait of a second is said.
class file_under_name_lock {
 public:
  explicit file_under_name_lock(const std::string& name);
  ~file_under_name_lock();
  file_under_name_lock(const file_under_name_lock&) = delete;
  file_under_name_lock& operator=(const file_under_name_lock&) = delete;

  bool held() const { return fd_ >= 0; }
  bool interrupted() const { return interrupted_; }

 private:
  int fd_ = -1;
  bool interrupted_ = false;
};
