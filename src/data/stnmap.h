// Station map files: for each time of a station data set, the byte offset
// of its group of reports and the number of reports in it, and the largest
// report data size. Version 2 begins with the magic "Vemra_stnmapV002" and
// is big-endian; version 1 has no magic and is in the writer's byte order.
#pragma once

#include <cstdint>
#include <cstdio>

struct file_descriptor;

// Reports larger than this many data words are refused; it is also the
// bound by which a version-1 map written in the other byte order is
// recognised.
inline constexpr int kStationMaxWords = 1 << 24;

// Reads a map from f into the record's station_offsets and station_counts:
// 0 with the number of times and the largest report size, or 1 after
// "Open Error:  Station map file is short or damaged". The counts are
// checked against the file's size before anything is allocated.
int read_station_map(FILE* f, file_descriptor* pfi, int* ntimes, int* maxsize);

// Builds the map of an opened station data set (its descriptor read without
// a map) by walking its time groups, and writes it as a version-2 map to
// map_name. Prints a summary at the result level: 0, or 1 after the
// messages.
int kastnmap(file_descriptor* pfi, const char* map_name);
