// The projection table: one row per projection. A new projection adds its
// file (math and set-up), its code and one row here.
#include "base/words.h"
#include "gx/proj.h"

namespace {

int scaled_setup(projection_box* b) { return gxscld(b, b->xflip, b->yflip); }

using mp = map_projection;

const projection_kind rows[] = {
    // code, words, set-up, refusal title, projected, polar
    {mp::off, {"off"}, scaled_setup, nullptr, false, false},
    {mp::scaled, {"scaled"}, scaled_setup, nullptr, false, false},
    {mp::latlon, {"latlon"}, gxltln, nullptr, false, false},
    {mp::nps, {"nps"}, gxnste, "NPS", true, true},
    {mp::sps, {"sps"}, gxsste, "SPS", true, true},
    {mp::robinson, {"robinson"}, gxrobi, "Robinson", true, false},
    {mp::mollweide, {"mollweide"}, gxmoll, "Mollweide", true, false},
    {mp::orthographic,
     {"orthogr", "orthographic", "ortho"},
     gxortg,
     "Orthographic Projection",
     true,
     false},
    {mp::lambert, {"lambert"}, gxlamc, "Lambert conformal Projection", true, false},
};

}  // namespace

std::span<const projection_kind> projection_kinds() { return rows; }

const projection_kind* projection_of(map_projection code) {
  for (const projection_kind& k : rows)
    if (k.code == code) return &k;
  return nullptr;
}

const projection_kind* projection_named(const char* word) {
  for (const projection_kind& k : rows)
    for (const char* w : k.words)
      if (w && cmpwrd(w, word)) return &k;
  return nullptr;
}

bool is_projected(map_projection code) {
  const projection_kind* k = projection_of(code);
  return k && k->projected;
}

bool is_polar(map_projection code) {
  const projection_kind* k = projection_of(code);
  return k && k->polar;
}
