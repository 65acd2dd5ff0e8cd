// Stroke-font internals shared inside the graphics package (and its tests).
#pragma once

// Loads font n (0-9) from "font%i.dat"; 0 ok, 1 failure (message printed).
int gxchrd(int font);
// The glyph line of a character in a font (loading the font on first use)
// and its pair count, extent pair included; null when the font can't load.
// Characters outside 32..126 give the blank's glyph.
const char* gxchgc(int ch, int font, int* count);
