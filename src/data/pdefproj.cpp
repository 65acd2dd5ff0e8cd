// Forward transforms of the native grids: longitude and latitude to
// fractional native grid coordinates. Computed in double, handed out as
// floats; a point the transform can't place comes out non-finite, which the
// set-up treats as having no native neighbours.
#include <cmath>

#include "data/pdef.h"

namespace {

// d brought into -180..180 by steps of 360 (non-finite values stay as they
// are, so a bad input can't loop).
double into_half_turn(double d) {
  if (!std::isfinite(d)) return d;
  if (d > 180.0 || d < -180.0) {
    d = std::fmod(d, 360.0);
    if (d > 180.0) d -= 360.0;
    if (d < -180.0) d += 360.0;
  }
  return d;
}

double clamp_unit(double v) { return v > 1.0 ? 1.0 : v < -1.0 ? -1.0 : v; }

}  // namespace

void w3fb04(float lat, float west_lon, float mesh, float west_orient, float* xi, float* xj) {
  constexpr double radpd = 0.01745329;
  constexpr double earthr = 6371.2;
  double re = earthr * 1.86603 / mesh;
  double xlat = lat * radpd;
  if (mesh > 0) {
    const double w = (double(west_lon) + 180.0 - west_orient) * radpd;
    const double r = re * std::cos(xlat) / (1.0 + std::sin(xlat));
    *xi = static_cast<float>(r * std::sin(w));
    *xj = static_cast<float>(r * std::cos(w));
  } else {
    re = -re;
    xlat = -xlat;
    const double w = (double(west_lon) - west_orient) * radpd;
    const double r = re * std::cos(xlat) / (1.0 + std::sin(xlat));
    *xi = static_cast<float>(r * std::sin(w));
    *xj = static_cast<float>(-r * std::cos(w));
  }
}

void ll2lc(const float* params, float lat, float lon, float* gi, float* gj) {
  const double pi = 4.0 * std::atan(1.0), rad = pi / 180.0;
  constexpr double earth = 6371229.0;
  const double latref = params[0], lonref = params[1], iref = params[2], jref = params[3];
  const double t1 = params[4], t2 = params[5], stdlon = params[6], dx = params[7], dy = params[8];
  const double h = t1 < 0 ? -1.0 : 1.0;
  const double c1 = (90.0 - std::fabs(t1)) * rad, c2 = (90.0 - std::fabs(t2)) * rad;
  double n;
  if (t1 != t2)
    n = (std::log(std::sin(c1)) - std::log(std::sin(c2))) /
        (std::log(std::tan(c1 / 2)) - std::log(std::tan(c2 / 2)));
  else
    n = std::sin(std::fabs(t1) * rad);
  const double psi = earth * std::sin(c1) / n;
  auto radius = [&](double phi) {
    return psi * std::pow(std::tan((90.0 - phi) * rad / 2) / std::tan(c1 / 2), n);
  };
  const double r0 = radius(std::fabs(latref));
  const double a0 = n * (lonref - stdlon) * rad;
  const double x0 = r0 * std::sin(a0), y0 = -h * r0 * std::cos(a0);
  const double r = radius(h * lat);
  const double a = n * into_half_turn(double(lon) - stdlon) * rad;
  const double x = r * std::sin(a), y = -h * r * std::cos(a);
  *gi = static_cast<float>(iref + (x - x0) / dx);
  *gj = static_cast<float>(jref + (y - y0) / dy);
}

void ll2eg(int isize, int jsize, const float* params, float lon, float lat, float* gi, float* gj,
           float* rotation) {
  constexpr double d2r = 0.017453292, r2d = 57.29578;
  const double lon0 = params[0], lat0 = params[1], dlon = params[2], dlat = params[3];
  const double phi0 = lat0 * d2r, la = lat * d2r, relm = (lon0 - lon) * d2r;
  const double x = std::cos(phi0) * std::cos(la) * std::cos(relm) + std::sin(phi0) * std::sin(la);
  const double y = -std::cos(la) * std::sin(relm);
  const double z = -std::sin(phi0) * std::cos(la) * std::cos(relm) + std::cos(phi0) * std::sin(la);
  const double rlat = std::atan(z / std::sqrt(x * x + y * y)) * r2d;
  const double rlon = std::atan(y / x) * r2d;
  const double fi = rlon / (dlon / 2) + isize, fj = rlat / (dlat / 2) + jsize;
  *gi = static_cast<float>((fi + 1) / 2 - 1);
  *gj = static_cast<float>((fj + 1) / 2 - 1);
  const double dl = (double(lon) - lon0 - 360.0) * d2r;
  const double alpha =
      std::atan2(std::cos(la) * std::sin(dl),
                 std::cos(phi0) * std::cos(la) * std::cos(dl) + std::sin(phi0) * std::sin(la));
  // Near a pole of the earth the angle has no meaning; it is clamped, and a
  // point where it can't be formed at all gets no rotation.
  const double rot = std::asin(clamp_unit(std::sin(phi0) * std::sin(alpha) / std::cos(la)));
  *rotation = std::isfinite(rot) ? static_cast<float>(rot) : pdef_no_rotation;
}

void ll2pse(int, int, const float* params, float lon, float lat, float* gi, float* gj) {
  constexpr double cdr = 57.295776;
  constexpr double a = 6378273.0, e2 = 0.006693883;
  const double pi = std::acos(-1.0);
  const double slat = params[0], slon = params[1], polei = params[2], polej = params[3];
  const double dx = params[4], dy = params[5], sign = params[6];
  if (lat > 90.0f || lat < -90.0f) {
    *gi = *gj = -1.0f;
    return;
  }
  const double e = std::sqrt(e2);
  // The formulas are those of the northern grid; a southern one (sign
  // below 0) measures its latitudes from the south pole.
  const double hemi = sign < 0 ? -1.0 : 1.0;
  const double phi = hemi * lat / cdr, phic = std::fabs(slat) / cdr;
  auto t = [&](double p) {
    return std::tan(pi / 4 - p / 2) /
           std::pow((1 - e * std::sin(p)) / (1 + e * std::sin(p)), e / 2);
  };
  double rho;
  if (std::fabs(90.0 - std::fabs(slat)) < 0.001) {
    rho = 2 * a * t(phi) / std::sqrt(std::pow(1 + e, 1 + e) * std::pow(1 - e, 1 - e));
  } else {
    const double mc = std::cos(phic) / std::sqrt(1 - e2 * std::sin(phic) * std::sin(phic));
    rho = a * mc * t(phi) / t(phic);
  }
  const double theta = sign * (slon + lon) / cdr;
  *gi = static_cast<float>(rho * sign * std::cos(theta) / (1000.0 * dx) + polei + 1);
  *gj = static_cast<float>(rho * sign * std::sin(theta) / (1000.0 * dy) + polej + 1);
}

void ll2ops(const float* params, float lonf, float latf, float* gi, float* gj) {
  constexpr double earth = 6371229.0;
  const double k = std::asin(1.0) / 90.0;  // radians per degree
  const double pi = 2 * std::asin(1.0);
  const double lat0 = params[0], xoff = params[2], yoff = params[3];
  const double iref = params[4], jref = params[5], dx = params[6], dy = params[7];
  double lon0 = params[1], lat = latf, lon = lonf;
  if (lon <= 0) lon += 360.0;
  if (lon0 < 0) lon0 += 360.0;
  // The point as a latitude about the centre (90 at the centre) and an
  // azimuth (90 towards the centre's north).
  double phi, az;
  if (lat0 == 90.0) {
    phi = lat;
    az = std::fmod(lon + 270.0, 360.0);
  } else if (lat0 == -90.0) {
    phi = -lat;
    az = std::fmod(lon + 270.0, 360.0);
  } else if (into_half_turn(lon - lon0) == 0.0) {
    // Also a whole turn off (0E comes as 360E, a centre at 0E stays 0): the
    // formulas below divide 0 by 0 at the meridian's equator point.
    if (lat > lat0) {
      phi = 90.0 - lat + lat0;
      az = 90.0;
    } else {
      phi = 90.0 - lat0 + lat;
      az = 270.0;
    }
  } else if (std::fabs(lon - lon0) == 180.0) {
    phi = lat0 - 90.0 + lat;
    if (phi < -90.0) {
      phi = -180.0 - phi;
      az = 270.0;
    } else {
      az = 90.0;
    }
  } else {
    // A southern centre is worked in its mirror image in the north (point
    // and centre mirrored alike), and the azimuth is mirrored back so that
    // y points north as on every other grid.
    const double s = lat0 < 0 ? -1.0 : 1.0;
    const double d_lon = into_half_turn(lon - lon0);
    const double cl = std::cos(lat * k), sl = std::sin(s * lat * k);
    const double c0 = std::cos(lat0 * k), s0 = std::sin(s * lat0 * k);
    const double d = std::acos(clamp_unit(cl * std::cos(d_lon * k)));
    const double beta = std::asin(clamp_unit(sl / std::sin(d)));
    const double phir = std::asin(clamp_unit(c0 * std::cos(d) + s0 * sl));
    double gamma = std::asin(clamp_unit(std::sin(d) * std::cos(beta) / std::cos(phir)));
    const double kappa = std::asin(clamp_unit(sl / s0));
    const double delta = std::acos(clamp_unit(c0 * std::sin(kappa)));
    const double eps = std::asin(clamp_unit(sl / std::sin(delta)));
    const double arg = cl * std::cos(delta) / (1 - sl * std::sin(delta) * std::sin(eps));
    const double lambda = std::fabs(arg) > 1 ? 999.0 : std::acos(arg) / k;
    if (s * lat > s * lat0 || lambda < std::fabs(d_lon)) gamma = pi - gamma;
    if (s < 0) gamma = pi - gamma;
    if (d_lon < 0) gamma = -gamma;
    phi = phir / k;
    az = std::fmod(gamma / k + 270.0, 360.0);
  }
  const double r = 2 * earth * std::cos(phi * k) / (1 + std::sin(phi * k));
  *gi = static_cast<float>((r * std::cos(az * k) - xoff) / dx + iref);
  *gj = static_cast<float>((r * std::sin(az * k) - yoff) / dy + jref);
}
