// Map grid lines on curved projections of the whole globe: every meridian
// bends through the projection instead of collapsing into the centre line.
#include "plot/plot2d.h"
#include "plot_fixture.h"

namespace {

using plottest::Plot;
using plottest::recorder;

TEST(MapGrid, MeridiansFollowCurvedProjections) {
  for (map_projection proj : {map_projection::mollweide, map_projection::orthographic}) {
    Plot p;
    p.s->mproj = proj;
    p.s->grid = 1;
    p.s->grid_style = 1;
    p.s->grid_colour = 15;
    grid_field* g = p.add(7, 7, -90, -90, 30, std::vector<float>(49, 1));
    p.run([g](session_state* s) {
      kas2d(s, g, false);
      kampax(s);
    });
    recorder r = p.frame();
    // The meridians 60 degrees either side of the centre cross the
    // equator away from the centre line, where the projection puts them.
    for (float lon : {-60.0f, 60.0f}) {
      float x, y, cx, cy;
      gxconv(lon, 0, &x, &y, coord_level::world);
      gxconv(0, 0, &cx, &cy, coord_level::world);
      EXPECT_GT(std::fabs(x - cx), 0.5f) << code_of(proj) << " " << lon;
      EXPECT_GE(r.find('d', x, y), 0) << code_of(proj) << " " << lon;
    }
  }
}

}  // namespace
