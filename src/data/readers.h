// The readers of the kinds built into the data layer, each defined in its
// own file; the reader table (data/reader.h) hands them out by kind.
#pragma once

#include "data/reader.h"

extern const reader binary_reader;
extern const reader grib_reader;
extern const reader preprojected_binary_reader;
extern const reader preprojected_grib_reader;
extern const reader station_reader;
extern const reader defined_reader;
