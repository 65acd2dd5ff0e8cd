// Files opened safely: input that must be a regular file (a device, a pipe
// or a directory would block, never end or not be what was meant), and
// output that replaces a file only once it is complete.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/keptcopy.h"

// Opens path for reading only when it is a regular file. Anything else is
// refused without blocking (a pipe with no writer is never waited for):
// nullptr, with errno EISDIR for a directory and EINVAL for other kinds, and
// *not_regular (when given) set true. Any other failure leaves it false and
// errno says the system's reason. Without follow_links a symbolic link is
// refused too (errno ELOOP).
FILE* fopen_regular(const std::string& path, const char* mode = "rb", bool follow_links = true,
                    bool* not_regular = nullptr);

// Wraps an open descriptor in a stream, made blocking first unless blocking
// is false. On failure the descriptor is closed and errno kept.
FILE* fdopen_owning(int fd, const char* mode, bool blocking = true);

// True when path names an existing directory (following links).
bool is_directory(const std::string& path);

// The directory part of path ("." when it has none).
std::string directory_of(const std::string& path);

// A descriptor this object owns: closed when it goes or takes another.
class owned_fd {
 public:
  owned_fd() = default;
  explicit owned_fd(int fd) : fd_(fd) {}
  ~owned_fd() { reset(); }
  owned_fd(owned_fd&& other) noexcept : fd_(other.release()) {}
  owned_fd& operator=(owned_fd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  owned_fd(const owned_fd&) = delete;
  owned_fd& operator=(const owned_fd&) = delete;

  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Holds the file under path (a link there is the file held) by a
// descriptor that reads nothing: a held file's inode cannot be freed and its
// number given to another file. Empty when none is there.
owned_fd hold_file(const std::string& path);

// What a staged output was made over and as: the regular file it replaces
// (the only one its owner, group and mode may be taken from at placing),
// held from the open to the placing, and what a new file gets in its
// directory.
struct stage_origin {
  owned_fd over;  // the regular file under the name at the open; empty when none stood there
  uid_t uid = 0;  // the owner, group and mode of a new file
  gid_t gid = 0;
  mode_t mode = 0;
  mode_t given = 0;  // the mode the stage was given (a write clears set-id bits)
};

// Where output meant to replace a file goes (see plan_output).
struct output_plan {
  enum kind {
    beside,    // fd is a new empty file, temp its name: rename it onto target
    in_place,  // target is written where it is; why_not_beside says why
    special,   // target exists and is no regular file (a pipe, a device)
    refused,   // the user may not write target: errno set
  } how = refused;
  int fd = -1;
  std::string temp;
  std::string why_not_beside;
  stage_origin origin;  // for beside, and for in_place the file to open
};

// Decides how output replaces target, as a careful editor does. A link is
// resolved (target becomes the file it names, which is the one replaced);
// one that another user owns in a directory others may write (group or
// world, sticky or not), for the file or a directory on the way, is refused
// (EACCES), also when the file does not exist yet. An existing file the user
// may not open for writing is refused with the system's reason. The new file
// gets the old one's mode, owner, group and extended attributes (its ACL
// among them); where they cannot be kept (another user's file), where the file has several links,
// or where no file can be made in its directory, the old file is written in place instead. A mode
// that cannot be set refuses a new file (errno says why). The temporary name ".NAME.XXXXXX" is
// shortened to fit the file system whatever the length of NAME, and it is removed if the process
// ends by a signal before commit_staged or drop_staged. Without may_write_in_place a regular file
// is always staged (its links and, where the system refuses, its owner and attributes are not kept)
// or, when no file can be made beside it or its mode not set, refused.
output_plan plan_output(std::string& target, bool may_write_in_place = true);

// Renames a temporary file of plan_output onto target; false with errno set,
// in which case it is removed. temp is cleared either way.
bool commit_staged(std::string& temp, const std::string& target);
// True when temp still names the file open at fd: a regular file, the same
// device and inode. Another user who may write the directory (one without
// the sticky bit) can put another file or a link under a stage's name while
// it is written: false then, errno ESTALE. Checked just before placing, and
// on the output's own name just after.
bool stage_still_named(int fd, const std::string& temp);
// Why a stage was not placed after ESTALE, naming it.
std::string stage_replaced(const std::string& temp);
// A name that reads the file open at fd, whatever is under its own name now.
std::string held_file_path(int fd);
// Why a placed output is not the file written, naming both: another user who
// may write the directory exchanged a file of theirs with the stage between
// its check and its rename.
std::string stage_exchanged(const std::string& temp, const std::string& target);
// Gives the file open at fd the owner, group and mode of the file under
// target now where that is still the one the output was opened over (the
// file held since the open: a link there is not followed), as its owner may
// have changed them since. Where another file or none stands there, nothing
// is taken from it: the output gets the owner, group and mode of a new file.
// Either way the mode is never wider than the one the stage was given, nor
// gains set-id bits. An owner the system does not let the user give is not kept; the
// group may still be.
void take_owner_and_mode(int fd, const std::string& target, const stage_origin& origin);

// Removes a temporary file of plan_output (nothing when temp is empty).
void drop_staged(std::string& temp);

// Leaves a temporary file of plan_output where it is, no longer removed at a
// signal or the exit (it holds what must be kept); temp is cleared.
void release_staged(std::string& temp);

// Async-signal-safe: puts back the old contents of the files written in
// place and not finished, and removes every temporary file not yet
// committed or dropped.
void remove_staged_files();
// Signal handler: removes the temporary files, then ends the process by sig
// with its default action, so the exit status shows the signal.
extern "C" void end_by_signal(int sig);
// Makes every signal sent to end the process (TERM, HUP, INT, QUIT, PIPE,
// ALRM, USR1, USR2 and the others whose default ends it, but for the faults
// of the program itself) end it by end_by_signal. One that is ignored now
// (as under nohup) stays ignored.
void catch_ending_signals();

// While it lives, the signals of catch_ending_signals wait, and so do a CPU
// limit's and a file-size limit's: files renamed into place as one set are
// all placed, or all put back, before one acts.
class ending_signals_held {
 public:
  ending_signals_held();
  ~ending_signals_held();
  ending_signals_held(const ending_signals_held&) = delete;
  ending_signals_held& operator=(const ending_signals_held&) = delete;

 private:
  sigset_t old_;
};

// How an output treats a name that exists and is no regular file.
// Either way a directory, block device or socket is refused.
enum class special_output {
  device_only,     // a character device is written in place, a pipe refused
                   // (the output seeks back in what it wrote)
  pipe_or_device,  // a pipe (a pipeline's input) or character device is
                   // written in place; waits for a pipe's reader are
                   // interruptible
};

// Waits, in short slices that look at the interrupt, until fd has one of
// events (or its other end has gone); false after an interrupt or a failure
// of the wait itself (interrupted tells which).
bool wait_on(int fd, short events, bool& interrupted);

// Opens path with flags and O_NONBLOCK (mode for a file it makes). A pipe
// with no reader yet is opened again in short slices until one comes: -1
// with errno EINTR once the interrupt is set.
int open_waiting_for_reader(const std::string& path, int flags, mode_t mode = 0666);

// Writes all n bytes to a non-blocking fd, waiting while it is full; false
// with errno set (EINTR after an interrupt).
bool write_waiting(int fd, const char* buf, size_t n);

// Opens an existing pipe or device for writing where it is. A pipe is opened
// once a reader has it, and its writes wait while it is full; both waits end
// at an interrupt (nullptr or a failed write, errno EINTR).
FILE* fopen_stream_target(const std::string& path);

// Opens path for appending, made as a regular file when none is there. A pipe
// or character device is written where it is (as by fopen_stream_target: a
// pipe once a reader has it, the wait ended by an interrupt, nullptr with
// errno EINTR); a directory, block device or socket is refused (EISDIR,
// EINVAL), and so is a name reached through another user's link as
// plan_output refuses it (EACCES). On failure why, when given, gets the
// reason in the words the replacing outputs use.
FILE* fopen_appending(const std::string& path, std::string* why = nullptr);

// Sessions that write a regular file in place, or append to it, take turns:
// each holds an exclusive lock on it until its output is whole, so outputs
// never mix and the old contents one puts back are never over another's.
enum class write_turn {
  taken,        // the lock is held
  ours,         // this session's own in-place writer holds it: waiting would never end
  interrupted,  // an interrupt ended the wait
  unlocked,     // the file system has no locks: written as before
};
// Waits for the turn on the file open at fd; a wait of a second is said,
// naming name.
write_turn wait_write_turn(int fd, const std::string& name);
// Why an output is refused when the turn is ours.
inline constexpr const char* kWrittenInPlaceAlready =
    "it is being written in place by this session already";

// Output that replaces a file: it is written to a temporary file in the same
// directory and renamed onto the name by commit(), so a failed or cut-short
// write (a full disk, a size limit, a second writer) never leaves a damaged
// file under the name and never loses the old one (see plan_output for the
// files written in place; sessions writing one file in place take turns).
// Without commit() the temporary file is removed.
class replacing_file {
 public:
  explicit replacing_file(std::string path,
                          special_output special = special_output::pipe_or_device);
  ~replacing_file();
  replacing_file(const replacing_file&) = delete;
  replacing_file& operator=(const replacing_file&) = delete;

  // The stream to write, or nullptr when nothing could be created (errno set,
  // error() says why).
  FILE* stream() const { return stream_; }
  // Flushes, closes and renames into place; false on any write failure, in
  // which case the old file is left as it was (one written in place gets
  // its old contents back, kept aside while it was written).
  bool commit();
  // Drops what was written (a file written in place gets its old contents
  // back).
  void discard();
  // Records that a write to stream() failed with err and returns why, as
  // error() then says (for outputs that find their failures as they write);
  // the first such err is the reason commit() gives.
  const std::string& write_failed(int err);
  // Why the open or the commit failed ("" when nothing failed): the system's
  // reason, and for a file written in place why no temporary file was used
  // (and where its old contents are when they could not be put back).
  const std::string& error() const { return error_; }

 private:
  void fail(const std::string& why);
  void put_back();

  std::string target_;  // the name to replace (a link's target)
  std::string temp_;    // empty when written in place
  std::string why_not_beside_;
  std::string error_;
  std::string kept_where_;           // a copy that could not be put back
  stage_origin origin_;              // what the stage was made over and as
  int write_errno_ = 0;              // the first failure write_failed was told of
  std::unique_ptr<kept_copy> kept_;  // the old contents of a file written in place
  FILE* stream_ = nullptr;
};
