// Grids that never reach a data file: sections of defined objects held in
// memory, and the predefined coordinate variables lon, lat and lev.
#include <cstdint>
#include <cstdlib>

#include "base/alloc.h"
#include "base/message.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/readers.h"
#include "data/result.h"

namespace {

int object_size(const file_descriptor* pfi, int d) {
  switch (d) {
    case 0: return pfi->x_size;
    case 1: return pfi->y_size;
    case 2: return pfi->z_size;
    default: return pfi->t_size;
  }
}

// A 0-based time index brought into the object's climatological cycle.
int64_t in_cycle(const file_descriptor* pfi, int64_t index) {
  if (!pfi->climatology_flag || pfi->climatology_cycle < 1) return index;
  const int64_t cyc = pfi->climatology_cycle;
  // Modulo rather than repeated steps: a far request stays one operation.
  // The index may pass the int range (request and offset of opposite signs).
  int64_t r = index % cyc;
  if (r < 0) r += cyc;
  return r;
}

}  // namespace

grid_read kagdef(read_request& rq) {
  const file_descriptor* pfi = rq.file;
  grid_field* g = rq.grid;
  // A dimension in which the object does not vary drops out of the request.
  if (g->jdim >= 0 && object_size(pfi, g->jdim) == 1) g->jdim = -1;
  if (g->idim >= 0 && object_size(pfi, g->idim) == 1) {
    g->idim = g->jdim;
    g->isiz = g->jsiz;
    g->i_to_world = g->j_to_world;
    g->i_to_grid = g->j_to_grid;
    if (g->owns_scaling) kafree(g->i_world_vals);
    g->i_world_vals = g->j_world_vals;
    g->i_grid_vals = g->j_grid_vals;
    g->i_linear = g->j_linear;
    g->j_world_vals = nullptr;
    g->j_grid_vals = nullptr;
    g->j_to_world = g->j_to_grid = nullptr;
    g->jdim = -1;
    g->jsiz = 1;
  }

  int64_t index[4];
  for (int d = 0; d < 4; d++)
    index[d] = object_size(pfi, d) == 1 ? 0 : int64_t(g->dim_min[d]) - pfi->defined_offsets[d] - 1;
  int64_t isiz = 1, jsiz = 1;
  if (g->idim >= 0) isiz = int64_t(g->dim_max[g->idim]) - g->dim_min[g->idim] + 1;
  if (g->jdim >= 0) jsiz = int64_t(g->dim_max[g->jdim]) - g->dim_min[g->jdim] + 1;
  static const char kNoStorage[] = "Memory Allocation Error: Grid Request\n";
  if (g->idim >= 0 && isiz >= 1 && jsiz >= 1) {
    const double points = double(isiz) * double(jsiz);
    kareserve(points, points * sizeof(float), kNoStorage);
  }
  if (isiz < 1 || jsiz < 1 || isiz * jsiz > INT32_MAX) {
    kaprnt(msg_level::error, kNoStorage);
    return grid_read_no_memory;
  }
  g->isiz = int(isiz);
  g->jsiz = int(jsiz);
  // A grid with a varying dimension owns its value array, even of one point.
  if (g->idim >= 0) {
    g->values = static_cast<float*>(kamalloc(sizeof(float) * size_t(isiz * jsiz), kNoStorage));
  } else {
    g->values = &g->min_value;
  }

  const bool clim = pfi->climatology_flag != 0;
  if (clim && g->idim != 3 && g->jdim != 3) index[3] = in_cycle(pfi, index[3]);

  const int64_t size[4] = {pfi->x_size, pfi->y_size, pfi->z_size, pfi->t_size};
  const float undef = pfi->undef;
  float* v = g->values;
  for (int d = 0; d < 4; d++) {
    if (d == g->idim || d == g->jdim) continue;
    if (index[d] < 0 || index[d] >= size[d]) {
      for (int64_t k = 0; k < isiz * jsiz; k++) v[k] = undef;
      if (g->idim < 0) g->max_value = g->min_value;
      return grid_read_ok;
    }
  }
  const int64_t stride[4] = {1, size[0], size[0] * size[1], size[0] * size[1] * size[2]};
  const float* data = pfi->data_buffer;
  if (g->idim < 0) {
    g->min_value =
        data[index[0] + index[1] * stride[1] + index[2] * stride[2] + index[3] * stride[3]];
    g->max_value = g->min_value;
    return grid_read_ok;
  }

  const int id = g->idim, jd = g->jdim;
  const int64_t i0 = index[id];
  const int64_t j0 = jd >= 0 ? index[jd] : 0;
  auto cycled = [clim, pfi](int64_t k, int d) { return d == 3 && clim ? in_cycle(pfi, k) : k; };
  for (int64_t j = 0; j < jsiz; j++) {
    int64_t idx[4] = {index[0], index[1], index[2], index[3]};
    bool j_inside = true;
    if (jd >= 0) {
      int64_t jj = cycled(j0 + j, jd);
      idx[jd] = jj;
      j_inside = jj >= 0 && jj < size[jd];
    }
    float* row = v + j * isiz;
    if (!j_inside) {
      for (int64_t i = 0; i < isiz; i++) row[i] = undef;
      continue;
    }
    idx[id] = 0;
    const float* base =
        data + idx[0] + idx[1] * stride[1] + idx[2] * stride[2] + idx[3] * stride[3];
    for (int64_t i = 0; i < isiz; i++) {
      int64_t ii = cycled(i0 + i, id);
      row[i] = (ii >= 0 && ii < size[id]) ? base[ii * stride[id]] : undef;
    }
  }
  return grid_read_ok;
}

grid_read kagpre(read_request& rq) {
  const file_descriptor* pfi = rq.file;
  grid_field* g = rq.grid;
  const int d = int(rq.var->offset);
  conversion_fn conv = (d >= 0 && d < 3) ? pfi->grid_to_world[d] : nullptr;
  const float* scal = (d >= 0 && d < 3) ? pfi->grid_to_world_scaling[d] : nullptr;
  auto world = [&](int gi) { return conv ? conv(scal, float(gi)) : float(gi); };
  float* v = g->values;
  const int fixed = g->dim_min[d];
  if (g->idim >= 0) {
    const int id = g->idim, jd = g->jdim;
    const int jlo = jd >= 0 ? g->dim_min[jd] : 0, jhi = jd >= 0 ? g->dim_max[jd] : 0;
    for (int j = jlo; j <= jhi; j++) {
      for (int i = g->dim_min[id]; i <= g->dim_max[id]; i++) {
        const int gi = d == id ? i : (d == jd ? j : fixed);
        *v++ = world(gi);
      }
    }
  } else {
    g->min_value = world(fixed);
    g->max_value = g->min_value;
  }
  return grid_read_ok;
}

const reader defined_reader = {
    "Defined", nullptr, kagdef, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr,   nullptr, false,  false,   nullptr, true,    nullptr,
};
