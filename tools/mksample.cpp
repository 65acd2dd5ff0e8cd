// Writes the sample data set of the demo and the tests: a descriptor and a
// binary grid file on a global 2.5-degree grid, six pressure levels and
// twelve 6-hourly times. The fields follow simple atmospheric rules so that
// plots of them look like weather: temperature falls with latitude and
// height, the geopotential carries travelling waves, the winds are
// geostrophic to it, and sea-level pressure has moving highs and lows.
//
// Usage: mksample DIRECTORY
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kNx = 144, kNy = 73, kNt = 12;
constexpr double kDx = 2.5, kLat0 = -90.0;
constexpr double kLevels[] = {1000, 850, 700, 500, 300, 200};
constexpr int kNz = sizeof(kLevels) / sizeof(kLevels[0]);
constexpr double kPi = 3.14159265358979323846;
constexpr double kG = 9.80665, kOmega = 7.292e-5, kRadius = 6.371e6;

double rad(double deg) { return deg * kPi / 180.0; }

// Standard-atmosphere height of each level (m).
double standard_height(double p) {
  // Troposphere with a 6.5 K/km lapse rate from 288.15 K at 1013.25 hPa.
  return 288.15 / 0.0065 * (1.0 - std::pow(p / 1013.25, 0.190263));
}

// Travelling wave pattern of the midlatitudes, hours since the first time.
double wave(double lon, double lat, double hours, double phase) {
  double band = std::exp(-std::pow((std::fabs(lat) - 47.0) / 14.0, 2));
  double k5 = std::cos(rad(5.0 * (lon - 0.9 * hours) + phase));
  double k3 = 0.5 * std::cos(rad(3.0 * (lon - 0.4 * hours) + 40.0 + phase));
  return band * (k5 + k3);
}

double temperature(double lon, double lat, double p, double hours) {
  double s = std::sin(rad(lat));
  double t_surface = 301.0 - 42.0 * s * s - 6.0 * std::pow(s, 4);
  double z = standard_height(p);
  double t = t_surface - 0.0065 * z;
  double tropopause = 217.0 + 8.0 * s * s;  // warmer polar tropopause
  if (t < tropopause) t = tropopause + 0.3 * (tropopause - t) * 0.1;
  return t + 4.0 * wave(lon + 20.0, lat, hours, 0.0) * (p / 1000.0);
}

double height(double lon, double lat, double p, double hours) {
  double s = std::sin(rad(lat));
  double frac = std::log(1000.0 / p) / std::log(1000.0 / 200.0);  // 0 at 1000, 1 at 200
  double gradient = (60.0 + 540.0 * frac) * s * s;                // lower heights poleward
  double amplitude = 40.0 + 160.0 * frac;
  return standard_height(p) + 110.0 * (1.0 - frac) - gradient +
         amplitude * wave(lon, lat, hours, 0.0);
}

double sea_level_pressure(double lon, double lat, double hours) {
  double subtropical = 9.0 * std::exp(-std::pow((std::fabs(lat) - 32.0) / 9.0, 2));
  double subpolar = -11.0 * std::exp(-std::pow((std::fabs(lat) - 62.0) / 8.0, 2));
  double equatorial = -3.0 * std::exp(-std::pow(lat / 8.0, 2));
  return 1012.0 + subtropical + subpolar + equatorial + 14.0 * wave(lon, lat, hours, 30.0);
}

void put(std::vector<float>& out, double v) {
  float f = static_cast<float>(v);
  out.push_back(f);
}

bool write_all(const std::string& name, const std::string& text) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mksample DIRECTORY\n");
    return 2;
  }
  std::string dir = argv[1];
  std::vector<float> data;
  data.reserve(static_cast<size_t>(kNt) * (1 + 4 * kNz) * kNx * kNy);
  for (int t = 0; t < kNt; t++) {
    double hours = 6.0 * t;
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++) put(data, sea_level_pressure(i * kDx, kLat0 + j * kDx, hours));
    for (double p : kLevels)
      for (int j = 0; j < kNy; j++)
        for (int i = 0; i < kNx; i++) put(data, temperature(i * kDx, kLat0 + j * kDx, p, hours));
    for (double p : kLevels)
      for (int j = 0; j < kNy; j++)
        for (int i = 0; i < kNx; i++) put(data, height(i * kDx, kLat0 + j * kDx, p, hours));
    // Geostrophic winds from centred differences of the height field; the
    // Coriolis parameter is kept away from zero near the equator.
    for (int comp = 0; comp < 2; comp++) {
      for (double p : kLevels) {
        for (int j = 0; j < kNy; j++) {
          double lat = kLat0 + j * kDx;
          double f = 2.0 * kOmega * std::sin(rad(lat));
          double fmin = 2.0 * kOmega * std::sin(rad(12.0));
          if (std::fabs(f) < fmin) f = (lat < 0 ? -fmin : fmin);
          double dy = kRadius * rad(kDx);
          double dx = dy * std::max(std::cos(rad(lat)), 0.05);
          for (int i = 0; i < kNx; i++) {
            double lon = i * kDx;
            double v;
            if (comp == 0) {
              double zn = height(lon, std::min(lat + kDx, 90.0), p, hours);
              double zs = height(lon, std::max(lat - kDx, -90.0), p, hours);
              v = -kG / f * (zn - zs) / (2.0 * dy);
            } else {
              double ze = height(lon + kDx, lat, p, hours);
              double zw = height(lon - kDx, lat, p, hours);
              v = kG / f * (ze - zw) / (2.0 * dx);
            }
            if (std::fabs(lat) > 87.0) v *= (90.0 - std::fabs(lat)) / 3.0;
            put(data, v);
          }
        }
      }
    }
  }

  // Little-endian floats, said so in the descriptor.
  std::string bytes(data.size() * 4, '\0');
  for (size_t n = 0; n < data.size(); n++) {
    uint32_t w;
    std::memcpy(&w, &data[n], 4);
    for (int b = 0; b < 4; b++) bytes[4 * n + b] = static_cast<char>((w >> (8 * b)) & 0xff);
  }
  if (!write_all(dir + "/sample.dat", bytes)) {
    std::fprintf(stderr, "mksample: cannot write %s/sample.dat\n", dir.c_str());
    return 1;
  }
  std::string ctl =
      "DSET ^sample.dat\n"
      "TITLE Sample atmosphere on a 2.5 degree grid\n"
      "UNDEF -9.99e33\n"
      "OPTIONS little_endian\n"
      "XDEF 144 LINEAR 0 2.5\n"
      "YDEF 73 LINEAR -90 2.5\n"
      "ZDEF 6 LEVELS 1000 850 700 500 300 200\n"
      "TDEF 12 LINEAR 00Z01JAN2000 6hr\n"
      "VARS 5\n"
      "slp 0 99 Sea level pressure [hPa]\n"
      "t 6 99 Temperature [K]\n"
      "z 6 99 Geopotential height [m]\n"
      "u 6 99 Zonal wind [m/s]\n"
      "v 6 99 Meridional wind [m/s]\n"
      "ENDVARS\n";
  if (!write_all(dir + "/sample.ctl", ctl)) {
    std::fprintf(stderr, "mksample: cannot write %s/sample.ctl\n", dir.c_str());
    return 1;
  }
  return 0;
}
