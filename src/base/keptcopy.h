// The old contents of a file that is written in place (it has several links,
// or its owner or attributes would be lost by a new file): kept aside while
// the file is rewritten, and put back when the new contents cannot be
// written whole, or when the process ends (by a signal or at exit) before
// they are. A full disk or a size limit then leaves the old file whole under
// every name instead of a truncated one.
#pragma once

#include <string>

struct kept_entry;

class kept_copy {
 public:
  kept_copy() = default;
  // Puts the old contents back unless the copy was dropped.
  ~kept_copy();
  kept_copy(const kept_copy&) = delete;
  kept_copy& operator=(const kept_copy&) = delete;

  // Copies what the file open for writing at fd holds now (path names it)
  // into a hidden file made from the template beside (".NAME.XXXXXX" next to
  // it), or under the same name in the temporary directory ($TMPDIR, else
  // /tmp) when none can be made there. false with errno set when no whole
  // copy could be kept; the file is then not to be changed.
  bool keep(int fd, const std::string& path, const std::string& beside);
  // The new contents are whole: the copy is removed.
  void drop();
  // fd is closed next: it is no longer silenced when the contents are put
  // back.
  void release_writer();
  // Puts the old contents back; whatever is written through fd afterwards
  // (a stream's buffer flushed at its close) goes nowhere. false with errno
  // set when they could not be, in which case the copy stays, named by
  // where().
  bool put_back();
  const std::string& where() const { return name_; }

 private:
  void release();

  kept_entry* e_ = nullptr;
  std::string name_;
};

// The length of a file appended to where it is (the station stream): the
// file is cut back to it when the new records cannot all be written, or when
// the process ends (by a signal or at exit) before they are, so that it
// always ends on a whole record.
class kept_length {
 public:
  kept_length() = default;
  // Cuts the file back unless the length was dropped.
  ~kept_length();
  kept_length(const kept_length&) = delete;
  kept_length& operator=(const kept_length&) = delete;

  // Notes the length of the regular file open for writing at fd. false with
  // errno set when it is none (EINVAL) or cannot be held.
  bool keep(int fd);
  // What was appended is whole: it stays.
  void drop();
  // Cuts the file back to the noted length; whatever is written through fd
  // afterwards goes nowhere. false with errno set when it could not be.
  bool cut_back();

 private:
  kept_entry* e_ = nullptr;
};

// Async-signal-safe: puts back the old contents of every file whose copy was
// neither dropped nor put back, and removes the copies (one that could not
// be put back stays); cuts the files appended to back to their kept length.
void put_back_kept_copies();

// True when the file open at fd is one this process writes in place now
// (its copy kept, neither dropped nor put back).
bool kept_copy_for(int fd);
