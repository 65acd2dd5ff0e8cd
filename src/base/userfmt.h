// Number formats typed by users ("set clab %5.1f", "set prnopts %g"): they
// reach printf with one double, so they are checked before they are kept and
// formatted into bounded buffers.
#pragma once

#include <cstddef>

// 1 when fmt holds exactly one floating conversion
// (%[flags][width][.precision][l](e|E|f|F|g|G|a|A)) and otherwise only plain
// text and "%%"; else 0. Widths and precisions above 255 and "*" are refused.
int kafmtok(const char* fmt);

// Formats v with a format that kafmtok accepted into out (size bytes, always
// terminated, cut when too long). Returns the length written, or -1 (out
// empty) when the format is refused.
int kafmtv(char* out, std::size_t size, const char* fmt, double v);
