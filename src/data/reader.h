// Reading a data set: the record of one read in progress, handed down to
// every reader below the grid and station requests.
#pragma once

#include <string>

struct grid_field;
struct variable_descriptor;
struct file_descriptor;

// One grid or station request being served. The grid is null for station
// reads; the rest lives as long as the request.
struct read_request {
  grid_field* grid = nullptr;
  variable_descriptor* var = nullptr;
  file_descriptor* file = nullptr;
  // The time of the last "open error" warning of a templated data set.
  int timerr = 0;
  // First time of a template file that could not be opened during this
  // request (0 none): every row of that file would try again otherwise.
  int failed_template = 0;
  std::string failed_template_name;
};
