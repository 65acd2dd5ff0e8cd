// Collects what the code under test writes to standard output.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

class StdoutCapture {
public:
  StdoutCapture() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(1);
    dup2(fileno(file_), 1);
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
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    saved_ = -1;
  }
  std::FILE* file_ = nullptr;
  int saved_ = -1;
};
