// Runs a piece of work with the standard output and error sent to /dev/null:
// the readers print trace lines a timing has no use for.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

template <class F>
void quietly(F f) {
  std::fflush(stdout);
  std::fflush(stderr);
  int so = dup(1), se = dup(2);
  int nul = open("/dev/null", O_WRONLY);
  dup2(nul, 1);
  dup2(nul, 2);
  f();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(so, 1);
  dup2(se, 2);
  close(nul);
  close(so);
  close(se);
}
