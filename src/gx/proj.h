// Map projections: set-ups that fit a longitude/latitude box into a page
// area and install the world-to-plane transform and its inverse in the
// drawing layer, plus the transforms themselves.
#pragma once

// One projection request. The set-ups that fit the aspect write the plot
// area actually used; the orthographic set-up may shift the longitudes by 360.
struct projection_box {
  float lon_min, lon_max, lat_min, lat_max;      // degrees
  float page_xlo, page_xhi, page_ylo, page_yhi;  // area to fill, virtual inches
  float plot_xlo, plot_xhi, plot_ylo, plot_yhi;  // area used
};

// Set-ups: 0 installed, 1 refused (the previous scaling stays).
int gxscld(projection_box* box, int xflip, int yflip);
int gxltln(projection_box* box);
int gxnste(projection_box* box);
int gxsste(projection_box* box);
int gxrobi(projection_box* box);
int gxmoll(projection_box* box);
int gxortg(projection_box* box);
int gxlamc(projection_box* box);

// Transforms (coordinate_callback signature; output may overwrite input).
void gxnpst(float lon, float lat, float* x, float* y);
void gxnrev(float x, float y, float* lon, float* lat);
void gxspst(float lon, float lat, float* x, float* y);
void gxsrev(float x, float y, float* lon, float* lat);
void gxrobp(float lon, float lat, float* x, float* y);
void gxrobb(float x, float y, float* xo, float* yo);
void gxmollp(float lon, float lat, float* x, float* y);
void gxmollb(float x, float y, float* xo, float* yo);
void gxortgp(float lon, float lat, float* x, float* y);
void gxortgb(float x, float y, float* xo, float* yo);
void gxlamcp(float lon, float lat, float* x, float* y);
void gxlamcb(float x, float y, float* xo, float* yo);

// Rotation in radians that wind arrows need at (lon, lat) under the current
// projection: non-zero only for the polar stereographic ones.
float gxaarw(float lon, float lat);
