// Station reading: the reports of a station data set that a request selects
// (by box, centre and radius or station id, by level and by time), with a
// small cache of the raw reports of the last request, so that a second
// variable or level of the same stations does not touch the file again.
#pragma once

#include <cstdint>

struct station_set;
struct file_descriptor;

// Size of a station report header on disk: id, latitude, longitude, time
// offset, level count, surface flag.
inline constexpr int kStationHeaderBytes = 28;

// Fills the set from its file: 0, or 1 after the messages (the blocks
// allocated so far are freed; the caller frees the set record).
int kagstn(station_set* set);

// Appends the reports of one selected station at time index t from its
// 28-byte header and the data in the file's data_buffer: 0, or 1 when no
// report could be allocated.
int kaglvs(int t, const unsigned char* header, station_set* set);

// Data words that follow a report header, or -1 when the header's level
// count is negative; the counts are those of the data set.
int64_t station_data_words(int level_count, int surface_flag, int surface_vars, int level_vars);

// Forgets the cached request (a test, or a data set that changed on disk).
void kastnclr();
