#include "expr/windrot.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/message.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/pdef.h"
#include "data/reader.h"
#include "data/result.h"

namespace {

enum wind_code : int { wind_u = 33, wind_v = 34 };

// The other component: first units code 33 for 34 and back, the other
// three codes equal.
const variable_descriptor* partner_of(const file_descriptor* file, const variable_descriptor* var) {
  const int want = var->units[0] == wind_u ? wind_v : wind_u;
  for (int k = 0; k < file->variable_count; k++) {
    const variable_descriptor* c = &file->variables[k];
    if (c->units[0] == want && c->units[1] == var->units[1] && c->units[2] == var->units[2] &&
        c->units[3] == var->units[3])
      return c;
  }
  return nullptr;
}

}  // namespace

bool kawrneed(const file_descriptor* file, const variable_descriptor* var) {
  return file && var && rotates_winds(file) && var->levels > -900 &&
         (var->units[0] == wind_u || var->units[0] == wind_v);
}

grid_ptr kawrcopy(const grid_field* request) {
  grid_ptr copy(static_cast<grid_field*>(
      kamalloc(sizeof(grid_field), "Memory allocation error: Data I/O \n")));
  std::memcpy(copy.get(), request, sizeof(grid_field));
  copy->values = nullptr;
  copy->owns_scaling = 0;
  return copy;
}

int kawrturn(grid_field* grid, grid_ptr copy, const char* display_name) {
  const file_descriptor* file = grid->file;
  const variable_descriptor* var = grid->variable;
  const int64_t count = int64_t(grid->isiz) * grid->jsiz;
  const float undef = grid->undef;
  const variable_descriptor* other = partner_of(file, var);
  if (!other) {
    // Half a wind can't be turned.
    for (int64_t k = 0; k < count; k++) grid->values[k] = undef;
    return 0;
  }
  copy->variable = const_cast<variable_descriptor*>(other);
  if (kaggrd(copy.get()) > grid_read_ok) {
    kaprntf(msg_level::error, "Data Request Error:  Error for variable '%s'\n", display_name);
    return 1;
  }
  const bool is_v = var->units[0] == wind_v;
  float* u = is_v ? copy->values : grid->values;
  float* v = is_v ? grid->values : copy->values;
  const auto* angle = static_cast<const float*>(file->pdef_extra);
  const int nx = file->x_size, ny = file->y_size;
  // The data set's x and y of each point, in storage order.
  const bool i_is_x = grid->idim == 0, i_is_y = grid->idim == 1, j_is_y = grid->jdim == 1;
  int64_t k = 0;
  for (int j = 0; j < grid->jsiz; j++)
    for (int i = 0; i < grid->isiz; i++, k++) {
      int64_t x = grid->dim_min[0] + (i_is_x ? i : 0);
      const int64_t y = grid->dim_min[1] + (i_is_y ? i : j_is_y ? j : 0);
      // A global grid may be asked for beyond its first turn of longitude.
      x = x_column(file, x);
      float a = pdef_no_rotation;
      if (u[k] != undef && v[k] != undef && x >= 1 && x <= nx && y >= 1 && y <= ny)
        a = angle[(y - 1) * nx + (x - 1)];
      if (a <= -900.0f) {
        u[k] = v[k] = undef;
        continue;
      }
      if (a == 0.0f) continue;
      const float s = std::sin(a), c = std::cos(a);
      if (is_v)
        v[k] = s * u[k] + c * v[k];
      else
        u[k] = c * u[k] - s * v[k];
    }
  if (grid->idim < 0) grid->max_value = grid->min_value;
  return 0;
}
