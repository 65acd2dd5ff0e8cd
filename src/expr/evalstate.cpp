#include "expr/evalstate.h"

#include "base/message.h"
#include "data/result.h"
#include "base/session.h"

namespace {

// The first line of a refusal; the caller prints the detail.
void refuse(eval_state_ptr& pst) {
  pst.reset();
  kaprnt(msg_level::error, "Operation error:  Invalid dimension environment\n");
}

}  // namespace

eval_state_ptr getpst(session_state* pcm) {
  eval_state_ptr pst(new eval_state{});
  pst->file_list = pcm->file_list;
  pst->default_file = pcm->default_file;
  pst->file_count = pcm->file_count;
  pst->defined_list = pcm->defined_list;
  pst->collections = pcm->collection_head;
  pst->collection_count = pcm->collection_count;
  for (int i = 0; i < 3; i++) {
    pst->dim_min[i] = pcm->dim_min[i];
    pst->dim_max[i] = pcm->dim_max[i];
  }
  pst->time_start = pcm->time_start;
  pst->time_end = pcm->time_end;
  pst->idim = pst->jdim = -1;

  int n = 0;
  for (int d = 0; d < 4; d++)
    if (pcm->dim_varying[d]) n++;
  int looping = pcm->looping;
  if (n > 2) looping = 1;

  int k = 0;
  for (int d = 0; d < 4; d++) {
    if (!pcm->dim_varying[d]) continue;
    if (looping && d == pcm->loopdim) continue;
    if (d == 0 && pcm->dim_min[0] > pcm->dim_max[0]) {
      refuse(pst);
      kaprntf(msg_level::error, "  Min longitude > max longitude: %g %g \n",
              double(pcm->dim_min[0]), double(pcm->dim_max[0]));
      return nullptr;
    }
    if (d == 1 && pcm->dim_min[1] > pcm->dim_max[1]) {
      refuse(pst);
      kaprntf(msg_level::error, "  Min latitude > max latitude: %g %g \n", double(pcm->dim_min[1]),
              double(pcm->dim_max[1]));
      return nullptr;
    }
    if (pst->idim == -1)
      pst->idim = d;
    else
      pst->jdim = d;
    k++;
  }
  if (looping && k == n) {
    refuse(pst);
    kaprnt(msg_level::error, "  Looping dimension does not vary\n");
    return nullptr;
  }
  if (k > 2) {
    refuse(pst);
    kaprnt(msg_level::error, "  Too many varying dimensions \n");
    return nullptr;
  }
  return pst;
}

void kafree(eval_state* pst) {
  if (!pst) return;
  pst->result = std::monostate{};
}
