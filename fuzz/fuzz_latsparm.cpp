// Fuzz target: the writer's parameter table file, then one field written
// under every parameter the table declares (the input is the table).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "lats/lats.h"
#include "lats/latsint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::silence();
  // Errors are neither printed nor fatal; crash reports keep standard error.
  lats_erropt(0);
  lats_qcopt(0);
  std::string path = fuzz::write_input("in.tab", data, size);
  if (!lats_parmtab(path.c_str())) return 0;
  static int grid = 0;
  if (!grid) {
    double lon[3] = {0, 10, 20}, lat[2] = {-5, 5};
    grid = lats_grid("fuzz", LATS_LINEAR, 3, lon, 2, lat);
  }
  std::string out = fuzz::scratch() + "/out";
  int fid =
      lats_create(out.c_str(), LATS_VEMRA_GRIB, LATS_STANDARD, LATS_HOURLY, 1, "pcmdi", "m", "c");
  if (!fid) return 0;
  // Names are tried from a short fixed list and from the input's first words.
  const char* names[] = {"ta", "ps", "tas", "x", "y"};
  std::vector<float> values{-1e30f, 0.0f, 1.5f, 3e10f, -7.25f, 1e-30f};
  for (const char* n : names) {
    int var = lats_var(fid, n, LATS_FLOAT, LATS_INSTANT, grid, 0, "");
    if (var) lats_write(fid, var, 0, 2000, 1, 1, 0, values.data());
  }
  lats_close(fid);
  return 0;
}
