// Fitting a projection's plane into the page area: the one place that
// decides where on the page a map goes and which plot area it reports.
#include "gx/proj_fit.h"

#include <cmath>

#include "gx/gx.h"

namespace {

// Room for the cone's open side: how far the centre of the plot area moves
// towards the pole, by the longitude span of the box.
float pole_offset(float span, bool north, bool tall) {
  if (span > 360.0f) return 0.0f;
  if (span > 270.0f) return north ? (tall ? 1.2f : 1.0f) : (tall ? -1.2f : -1.0f);
  if (span > 180.0f) return north ? 1.5f : (tall ? -1.5f : -1.0f);
  if (span > 90.0f) return north ? 1.0f : -0.5f;
  return north ? 1.0f : 0.0f;
}

}  // namespace

bool box_ok(const projection_box* b) {
  return b->lon_min < b->lon_max && b->lat_min < b->lat_max && b->page_xlo < b->page_xhi &&
         b->page_ylo < b->page_yhi;
}

bool extent_ok(double x1, double x2, double y1, double y2) {
  return std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2) &&
         x2 - x1 > 0.0 && y2 - y1 > 0.0;
}

void fit_aspect(projection_box* b, float x1, float x2, float y1, float y2) {
  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  if ((xhi - xlo) / (yhi - ylo) > (x2 - x1) / (y2 - y1)) {
    float h = (yhi - ylo) * 0.5f * (x2 - x1) / (y2 - y1);
    float c = (xlo + xhi) * 0.5f;
    xlo = c - h;
    xhi = c + h;
  } else {
    float h = (xhi - xlo) * 0.5f * (y2 - y1) / (x2 - x1);
    float c = (ylo + yhi) * 0.5f;
    ylo = c - h;
    yhi = c + h;
  }
  gxscal(xlo, xhi, ylo, yhi, x1, x2, y1, y2);
  b->plot_xlo = xlo;
  b->plot_xhi = xhi;
  b->plot_ylo = ylo;
  b->plot_yhi = yhi;
}

void fit_latlon(projection_box* b) {
  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  // A latitude degree counts 1.2 longitude degrees.
  float r = (b->lat_max - b->lat_min) * 1.2f / (b->lon_max - b->lon_min);
  float p = (yhi - ylo) / (xhi - xlo);
  if (r > p) {
    float w = (xhi - xlo) * p / r;
    float c = (xlo + xhi) * 0.5f;
    xlo = c - w * 0.5f;
    xhi = c + w * 0.5f;
  } else {
    float h = (yhi - ylo) * r / p;
    float c = (ylo + yhi) * 0.5f;
    ylo = c - h * 0.5f;
    yhi = c + h * 0.5f;
  }
  b->plot_xlo = xlo;
  b->plot_xhi = xhi;
  b->plot_ylo = ylo;
  b->plot_yhi = yhi;
  gxscal(xlo, xhi, ylo, yhi, b->lon_min, b->lon_max, b->lat_min, b->lat_max);
}

void fit_fill(projection_box* b, float x1, float x2, float y1, float y2) {
  b->plot_xlo = b->page_xlo;
  b->plot_xhi = b->page_xhi;
  b->plot_ylo = b->page_ylo;
  b->plot_yhi = b->page_yhi;
  gxscal(b->page_xlo, b->page_xhi, b->page_ylo, b->page_yhi, x1, x2, y1, y2);
}

void fit_cone(projection_box* b, float x1, float x2, float y1, float y2, bool north) {
  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  float cx = (xlo + xhi) * 0.5f, cy = (ylo + yhi) * 0.5f;
  float w = xhi - xlo, hgt = yhi - ylo;
  bool tall = (x2 - x1) / (y2 - y1) < w / hgt;
  cy += pole_offset(b->lon_max - b->lon_min, north, tall);

  float axlo, axhi, aylo, ayhi;
  if (tall) {
    float h = hgt * 0.5f * (x2 - x1) / (y2 - y1);
    if (h < 1.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h < 3.0f) {
      axlo = cx - 0.5f * h, axhi = cx + 0.5f * h, aylo = cy - h, ayhi = cy + h;
    } else if (h > 3.0f) {
      axlo = cx - 0.75f * h, axhi = cx + 0.75f * h, aylo = cy - 0.75f * h, ayhi = cy + 0.75f * h;
    } else {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    }
  } else {
    float h = w * 0.5f * (y2 - y1) / (x2 - x1);
    if (h < 1.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h < 2.0f) {
      axlo = xlo + 0.5f * h, axhi = xhi - 0.5f * h, aylo = cy - 1.25f * h, ayhi = cy + 1.25f * h;
    } else if (h < 3.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h > 3.0f) {
      axlo = cx - 0.5f * h, axhi = cx + 0.5f * h, aylo = cy - 0.5f * h, ayhi = cy + 0.5f * h;
    } else {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    }
  }
  gxscal(axlo, axhi, aylo, ayhi, x1, x2, y1, y2);
  b->plot_xlo = b->page_xlo;
  b->plot_xhi = b->page_xhi;
  b->plot_ylo = b->page_ylo;
  b->plot_yhi = b->page_yhi;
}
