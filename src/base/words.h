// Words and numbers: the text utilities every parser of the command language,
// the descriptor files and the expressions share. Texts are NUL-terminated; a
// newline counts as the end of the text.
#pragma once

#include <string>
#include <string_view>

// True where a word ends: a blank, a tab, a newline or the end of the text.
inline bool word_end(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\n'; }

// 1 when the first words of a and b are equal (case-sensitive), else 0.
int cmpwrd(const char* a, const char* b);

// Start of the next word after the one at p, or null when there is none.
char* nxtwrd(char* p);
const char* nxtwrd(const char* p);

// Copies the first word (ends at a space, newline or NUL) into out, at most
// max characters; out holds max + 1 bytes.
void getwrd(char* out, const char* in, int max);

// Copies the rest of the line, less trailing spaces, into out (max + 1 bytes).
void getstr(char* out, const char* in, int max);

// Integer parsers: optional sign, then decimal digits. Return the position
// past the digits, or null when there is no digit or the value overflows.
char* intprs(char* p, int* val);
const char* intprs(const char* p, int* val);
char* longprs(char* p, long* val);
const char* longprs(const char* p, long* val);

// Float literal of the command language; the position past the number, or
// null when there is none or it is not finite (beyond the float range).
char* valprs(char* p, float* val);
const char* valprs(const char* p, float* val);
// The same literal read in double, for grid coordinates: a float moves whole
// numbers past 2^24 to a neighbour.
const char* dblprs(const char* p, double* val);
// Whether the word at p is a float literal beyond the float range: where a
// word that is no number ends a list or is ignored, such a word is refused.
bool beyond_float_range(const char* p);

// Case folding in place up to NUL or newline; lowcas leaves quoted runs alone.
void lowcas(char* p);
void uppcas(char* p);

// Drops spaces outside double quotes and the quotes themselves; returns the
// new length.
int karemb(char* p);

// 0 when the n characters of a and b are equal, else 1.
int cmpch(const char* a, const char* b, int n);

// Fixed-point text of a value with the given decimals; returns its length.
// out needs room for the digits of the value plus sign, point and NUL.
int kaedit(float value, char* out, int decimals);

// Number of decimals (0 to 4) a value needs.
int gxdeci(float value);

// The text with every byte that is not printable shown as \xhh (two
// lower-case hex digits); tabs and whole UTF-8 characters other than
// controls are kept. For
// messages that quote a line of a file that may not be text at all.
std::string printable(std::string_view text);
