// Collects what the code under test writes to standard output (or to
// standard error, given its descriptor 2) for the life of the object.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

class StdoutCapture {
 public:
  explicit StdoutCapture(int fd = 1) : fd_(fd) {
    flush();
    file_ = std::tmpfile();
    saved_ = dup(fd_);
    dup2(fileno(file_), fd_);
  }
  ~StdoutCapture() {
    restore();
    if (file_) std::fclose(file_);
  }
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;
  // Stops collecting and returns everything written so far.
  std::string text() {
    restore();
    std::string out;
    std::rewind(file_);
    int c;
    while ((c = std::fgetc(file_)) != EOF) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  void flush() { std::fflush(fd_ == 2 ? stderr : stdout); }
  void restore() {
    if (saved_ < 0) return;
    flush();
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
  }
  int fd_;
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};

// What fn writes to standard output.
template <class F>
std::string stdout_of(F&& fn) {
  StdoutCapture cap;
  std::forward<F>(fn)();
  return cap.text();
}
