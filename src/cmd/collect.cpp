// The "collect" command: station sets kept in one of 32 collections of the
// session, in the order collected, for coll2gr.
#include <cstdlib>
#include <new>
#include <string>

#include "base/alloc.h"
#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "cmd/commands.h"
#include "cmd/display.h"
#include "data/held.h"
#include "data/result.h"
#include "expr/evalstate.h"

namespace {

void free_chain(session_state* pcm, int n) {
  collection_entry* e = pcm->collection_head[n];
  while (e) {
    collection_entry* next = e->next;
    delete e;
    e = next;
  }
  pcm->collection_head[n] = nullptr;
  pcm->collection_tail[n] = nullptr;
  pcm->collection_count[n] = 0;
}

int syntax_error() {
  kaprnt(msg_level::error, "Collect command error:  Invalid Syntax\n");
  kaprnt(msg_level::error, "  Format is:  collect n expr\n");
  return 1;
}

}  // namespace

void kacollfree(session_state* pcm) {
  for (int n = 0; n < kCollections; n++) free_chain(pcm, n);
}

int kacoll(char* line, session_state* pcm) {
  const char* p = nxtwrd(line);
  int n = -1;
  const char* q = p ? intprs(p, &n) : nullptr;
  if (!q || (*q != ' ' && *q != '\t' && *q != '\0' && *q != '\n') || n < 0 || n >= kCollections)
    return syntax_error();
  p = nxtwrd(q);
  if (!p) return syntax_error();
  if (cmpwrd("free", p)) {
    free_chain(pcm, n);
    return 0;
  }
  const bool xy_fixed = !pcm->dim_varying[0] && !pcm->dim_varying[1];
  if (!xy_fixed || pcm->dim_varying[2] == pcm->dim_varying[3]) {
    kaprnt(msg_level::error, "Collect Error: Z or T must be the only varying dimension\n");
    return 1;
  }
  std::string text = kaexprline(p);
  eval_state_ptr pst = getpst(pcm);
  if (!pst) return 1;
  int rc = kapars(text.c_str(), pst.get(), pcm);
  pst.reset();
  if (rc) return rc;
  if (held_grid(pcm, 0) || (pcm->result_count > 1 && held_grid(pcm, 1))) {
    kaprnt(msg_level::error, "Collect Error: Station Data Required\n");
    kagrel(pcm);
    return 1;
  }
  collection_entry* entry;
  try {
    entry = new collection_entry{nullptr, nullptr};
  } catch (const std::bad_alloc&) {
    kagrel(pcm);
    throw alloc_error("Memory allocation error in collect\n");
  }
  // The first result now belongs to the collection; the others are released.
  entry->set = take_held_stations(pcm, 0);
  // Kept until freed: as small as what it holds, not the blocks it was
  // built in.
  kasfit(entry->set.get());
  // Appended after the chain's last entry: walking the chain made a long
  // series of collects take time in the square of their number.
  collection_entry* last = pcm->collection_tail[n];
  (last ? last->next : pcm->collection_head[n]) = entry;
  pcm->collection_tail[n] = entry;
  pcm->collection_count[n]++;
  kagrel(pcm);
  return 0;
}
