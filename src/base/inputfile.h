// The one way every file the system reads is opened: only a regular file is
// taken (a directory, pipe or device would not be what was meant, would
// block, or would never end), lines are bounded, and long reads poll the
// interrupt so that a large file can be given up.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

enum class input_status {
  ok,
  cannot_open,  // the system's own reason is in errno_value()
  not_regular,  // a directory, pipe or device
  symlink,      // a symbolic link where none is followed
};

// Whether the last part of a name may be a symbolic link. Files in a shared
// directory are opened without following one, so that a link planted there
// by someone else cannot point the program at another file.
enum class input_links { follow, refuse };

// Whether path could be read as a regular file, without blocking: for
// libraries that open by name themselves (netCDF waits for ever on a pipe).
// On failure errno is set (EISDIR for a directory, EINVAL for other kinds).
input_status check_input(const std::string& path);

// "NAME is not a regular file", "NAME is a symbolic link, not followed", or
// the system's reason for a name that could not be opened.
std::string input_refusal(const std::string& path, input_status st, int err);

enum class line_read {
  ok,
  end,          // no more lines
  too_long,     // longer than the bound: its rest was read and dropped
  interrupted,  // the user interrupted the reading
};

// Text written with CRLF line ends: the carriage returns just before a
// newline, or at the very end of text, are part of the line end and go;
// one anywhere else stays. text may hold one line or many.
void drop_line_end_returns(std::string& text);

class input_file;

// Opens for reading the first of names that opens; refused gets a line
// ("  " and the refusal) for each name passed over as no regular file.
input_file open_first(const std::vector<std::string>& names, std::string& refused);

class input_file {
 public:
  input_file() = default;
  // Opens path for reading (mode "r" or "rb"); check with ok().
  explicit input_file(const std::string& path, const char* mode = "rb",
                      input_links links = input_links::follow);
  ~input_file();
  input_file(input_file&& o) noexcept;
  input_file& operator=(input_file&& o) noexcept;
  input_file(const input_file&) = delete;
  input_file& operator=(const input_file&) = delete;

  bool ok() const { return f_ != nullptr; }
  input_status status() const { return status_; }
  int errno_value() const { return err_; }
  // The message for a failed open (see input_refusal).
  std::string refusal() const { return input_refusal(path_, status_, err_); }
  const std::string& path() const { return path_; }
  std::FILE* get() const { return f_; }

  // The next line without its newline (a carriage return before it is kept),
  // of at most max characters. A longer line is read to its end, so its rest
  // never reads as the next line; out keeps its first max characters and the
  // result is too_long.
  // A last line without a newline is still a line.
  line_read next_line(std::string& out, std::size_t max);

  // Reads up to n bytes in pieces, polling the interrupt between them; the
  // count read (short at the end of the file or after an interrupt, which
  // interrupted() then tells).
  std::size_t read(void* buf, std::size_t n);
  bool interrupted() const { return interrupted_; }

  // Closes the file now; returns false when closing reports an error.
  bool close();

 private:
  // Counts bytes read and polls the interrupt every so many of them.
  bool poll(std::size_t bytes);

  std::FILE* f_ = nullptr;
  std::string path_;
  input_status status_ = input_status::cannot_open;
  int err_ = 0;
  std::size_t since_poll_ = 0;
  bool interrupted_ = false;
};
