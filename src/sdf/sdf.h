// Self-describing (netCDF) data sets: the entries the command language calls.
#pragma once

#include <string>

struct session_state;
struct file_descriptor;

// "sdfopen" and "xdfopen": text is the command from the file word on.
int kasdfopen(const char* text, session_state* pcm);
int kaxdfopen(const char* text, session_state* pcm);

// Closes a netCDF file with the library's error option off for the call;
// 1 done, 0 failed.
int close_netcdf(int ncid);

// Closes the netCDF file of a self-describing data set, if it has one.
void kasdfclose(file_descriptor* pfi);

// Releases the netCDF metadata a file record holds.
void free_io_std(void** io);

// Runs one command line as if typed (the openers' default "set" commands).
using sdf_command_fn = int (*)(const std::string& line, session_state* pcm, bool from_exec);

// Installs this layer's entries in the data layer and takes the command
// runner from the layer above (called once at start-up).
void sdf_install(sdf_command_fn run);
