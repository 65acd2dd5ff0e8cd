// Shared by "open" and the commands that re-establish the environment.
#pragma once

struct session_state;
struct file_descriptor;

// Runs the default dimension commands of a first data set through the
// dispatcher: x (or lon 0 360 when x wraps by a turn of all its columns or
// the data are station data), y (or lat -90 90 and lev 500), z (the whole
// range when zrange is set, else level 1) and t 1.
void kadefenv(session_state* pcm, const file_descriptor* pfi, bool zrange);
