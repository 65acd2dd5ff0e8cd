// Device driver for a build without a window: every session draws only into
// the display list. The window services answer as they do in batch mode.
#include "gx/xdriver.h"

#include <cstdio>
#include <string>

#include "gx/gx.h"

namespace {
int batch = 0;
int wchose = 0;
int devbck = 0;
int grflg = 0;
std::string ugeom;
}  // namespace

int gxdbgn(float, float) {
  std::printf("No graphics window available in this build; continuing without a window\n");
  return 1;
}

void gxdbat() { batch = 1; }
void gxdend() {}

void gxdcol(int) {}
void gxdwid(int) {}
int gxdacl(int, int, int, int) { return 0; }
void gxdptn(int, int, int) {}
int gxdbkq() { return devbck; }

void gxdmov(float, float) {}
void gxddrw(float, float) {}
void gxdrec(float, float, float, float) {}
void gxdfil(const float*, int) {}

void gxdfrm(int) {}
void gxddbl() {}
void gxdsgl() {}
void gxdswp() {}

void gxdgeo(const char* geometry) { ugeom = geometry ? geometry : ""; }
void gxwdln() { wchose = 1; }
void gxdbck(int flag) { devbck = flag > 0 ? 1 : 0; }
void gxgrey(int flag) { grflg = flag; }
void gxdssv(int) {}
void gxdssh(int) {}
void gxdsfr(int) {}
void gxdxsz(int, int) {}
void gxrs1wd(int, int) {}

void gxdbtn(int, float* x, float* y, int* button, int* type, int*, float*) {
  *x = -999.9f;
  *y = -999.9f;
  *button = -1;
  *type = -1;
}

int win_data(int*) { return 0; }
void dump_back_buffer(const char*) {}
void dump_front_buffer(const char*) {}
