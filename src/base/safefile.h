// Files opened safely: input that must be a regular file (a device, a pipe
// or a directory would block, never end or not be what was meant), and
// output that replaces a file only once it is complete.
#pragma once

#include <cstdio>
#include <string>

// Opens path for reading only when it is a regular file. Anything else is
// refused without blocking (a pipe with no writer is never waited for):
// nullptr, with errno EISDIR for a directory and EINVAL for other kinds.
// Without follow_links a symbolic link is refused too (errno ELOOP).
FILE* fopen_regular(const std::string& path, const char* mode = "rb", bool follow_links = true);

// True when path names an existing directory (following links).
bool is_directory(const std::string& path);

// The directory part of path ("." when it has none).
std::string directory_of(const std::string& path);

// Makes an empty file beside target (".NAME.XXXXXX" in its directory) for
// output that is renamed onto target when complete. It gets the old file's
// permissions when target exists (and a link is resolved, so that its target
// is the one replaced), else those a new file gets. Returns its descriptor
// and sets temp, or -1 with errno set.
int make_beside(std::string& target, bool exists, std::string& temp);

// Output that replaces a file: it is written to a temporary file in the same
// directory and renamed onto the name by commit(), so a failed or cut-short
// write (a full disk, a size limit, a second writer) never leaves a damaged
// file under the name and never loses the old one. A link is followed and its
// target replaced. A name that is no regular file (a device, a pipe) is
// written in place. Without commit() the temporary file is removed.
class replacing_file {
 public:
  explicit replacing_file(std::string path);
  ~replacing_file();
  replacing_file(const replacing_file&) = delete;
  replacing_file& operator=(const replacing_file&) = delete;

  // The stream to write, or nullptr when nothing could be created (errno set).
  FILE* stream() const { return stream_; }
  // Flushes, closes and renames into place; false on any write failure, in
  // which case the old file is left as it was.
  bool commit();
  // Drops what was written.
  void discard();

 private:
  std::string target_;  // the name to replace (a link's target)
  std::string temp_;    // empty when written in place
  FILE* stream_ = nullptr;
};
