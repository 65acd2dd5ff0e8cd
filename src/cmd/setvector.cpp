// "set" keywords that tune particular plot types: arrows and barbs,
// streamlines, grid values, bars, lines across gaps, station plots and
// filled line graphs. They only store settings the plots read.
#include <iterator>

#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"
#include "cmd/setvector.h"

namespace {

struct word_value {
  const char* word;
  int value;
};

// The next word looked up in table; its value, or false when the word is
// missing or not in the table.
template <size_t N>
bool choice(const char* p, const word_value (&table)[N], int* out) {
  if (!p) return false;
  for (const word_value& w : table) {
    if (cmpwrd(w.word, p)) {
      *out = w.value;
      return true;
    }
  }
  return false;
}

template <size_t N>
int choose(set_args& a, const word_value (&table)[N], int* field) {
  int v;
  if (!choice(nxtwrd(a.lower), table, &v)) return set_error(a.code);
  *field = v;
  return 0;
}

const word_value on_off_words[] = {{"on", 1}, {"off", 0}};
const word_value hempref_words[] = {{"auto", -1}, {"shem", 1}, {"nhem", 0}};
const word_value baropts_words[] = {{"outline", 1}, {"filled", 0}};
const word_value wxopt_words[] = {{"wxsym", 1}, {"mark", 2}, {"char", 3}};

// n ints from the words after the keyword into out, all or none.
int ints(set_args& a, int* out, int n) {
  int v[8];
  const char* p = a.lower;
  for (int k = 0; k < n; k++) {
    p = nxtwrd(p);
    if (!p || !intprs(p, &v[k])) return set_error(a.code);
  }
  for (int k = 0; k < n; k++) out[k] = v[k];
  return 0;
}

}  // namespace

int set_arrscl(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(a.code);
  s->arrscl_size = v;
  s->arrscl_magnitude = -999.0f;
  s->arrscl_set = 1;
  if ((p = nxtwrd(p))) {
    if (!valprs(p, &v)) return set_error(a.code);
    s->arrscl_magnitude = v;
  }
  return 0;
}

int set_arrlab(set_args& a) { return choose(a, on_off_words, &a.pcm->arrlab); }
int set_hempref(set_args& a) { return choose(a, hempref_words, &a.pcm->hempref); }
int set_missconn(set_args& a) { return choose(a, on_off_words, &a.pcm->missconn); }
int set_stid(set_args& a) { return choose(a, on_off_words, &a.pcm->stid); }
int set_wxopt(set_args& a) { return choose(a, wxopt_words, &a.pcm->wxopt); }

int set_baropts(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v;
  // Any other word is refused: the bars stay as they were.
  if (!p || !choice(p, baropts_words, &v)) return set_error(a.code);
  a.pcm->baropts_outline = v;
  return 0;
}

int set_arrowhead(set_args& a) {
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(a.code);
  a.pcm->arrowhead = v;
  kaprntf(msg_level::result, "Arrowhead = %g \n", double(v));
  return 0;
}

int set_strmden(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  a.pcm->strmden = v;
  return 0;
}

int set_dignum(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  if (v < 0 || v > 8) {
    kaprnt(msg_level::error, "Invalid dignum value:  must be 0 to 8\n");
    return 1;
  }
  a.pcm->dignum = v;
  kaprntf(msg_level::result, "dignum = %i \n", v);
  return 0;
}

int set_digsiz(set_args& a) {
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(a.code);
  a.pcm->digsiz = v;
  kaprntf(msg_level::result, "digsiz = %g \n", double(v));
  return 0;
}

int set_gridln(set_args& a) {
  static const word_value words[] = {{"auto", -9}, {"off", -1}};
  const char* p = nxtwrd(a.lower);
  int v;
  if (choice(p, words, &v) || (p && intprs(p, &v))) {
    a.pcm->gridln = v;
    return 0;
  }
  return set_error(a.code);
}

int set_barbase(set_args& a) {
  static const word_value words[] = {{"bottom", 0}, {"top", -1}};
  const char* p = nxtwrd(a.lower);
  int mode;
  float v;
  if (choice(p, words, &mode)) {
    a.pcm->barbase_mode = mode;
  } else if (p && valprs(p, &v)) {
    a.pcm->barbase_mode = 1;
    a.pcm->barbase_value = v;
  } else {
    return set_error(a.code);
  }
  return 0;
}

int set_bargap(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  if (v < 0 || v > 99) {
    kaprnt(msg_level::error, "SET BARGAP Error: gap must be 0 to 99\n");
    return 1;
  }
  a.pcm->bargap = v;
  return 0;
}

int set_mdlopts(set_args& a) {
  struct option {
    const char* word;
    int session_state::*field;
    int value;
  };
  static const option options[] = {{"noblank", &session_state::mdlopts_blank, 0},
                                   {"blank", &session_state::mdlopts_blank, 1},
                                   {"dig3", &session_state::mdlopts_dig3, 1},
                                   {"nodig3", &session_state::mdlopts_dig3, 0}};
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    const option* hit = nullptr;
    for (const option& o : options)
      if (cmpwrd(o.word, p)) hit = &o;
    if (!hit) return set_error(a.code);
    a.pcm->*(hit->field) = hit->value;
  }
  return 0;
}

int set_wxcols(set_args& a) {
  if (ints(a, a.pcm->wxcols, 5)) return 1;
  kaprnt(msg_level::result, "New WXCOLS have been set\n");
  return 0;
}

int set_lfcols(set_args& a) {
  if (ints(a, a.pcm->lfcols, 2)) return 1;
  kaprntf(msg_level::result, "LineFill Colors: Above = %i  Below = %i\n", a.pcm->lfcols[0],
          a.pcm->lfcols[1]);
  return 0;
}
