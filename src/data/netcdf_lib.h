// The netCDF library's two words of state for its version-2 interface, which
// live in the library: it is opened on first use (data/netcdf_lib.cpp), so
// they are reached through these, never by name. Without the library they
// are words of this program, which no call reads.
#pragma once

// The error option word (NC_VERBOSE, NC_FATAL).
int& netcdf_options();
// The status of the last failed version-2 call.
int netcdf_last_error();
