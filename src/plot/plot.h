// Plot composition: the entries the command language calls.
#pragma once

struct session_state;

// Starts the graphics package for the session's page and batch flag and sets
// the plot layer's fields of the session to their start values.
void kagx(session_state* pcm);
