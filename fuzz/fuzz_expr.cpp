// Fuzz target: the expression parser and evaluator over the sample data set
// (opened once), as "display" hands them an expression.
#include <cstdint>
#include <string>

#include "base/session.h"
#include "cmd/dispatch.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::silence();
  kainit();
  std::string open = std::string("open ") + VEMRA_SAMPLE_CTL;
  if (kacmd(open, gcmn, 0) != 0) std::abort();
  kacmd("set lev 500", gcmn, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 400) return 0;
  // As "display" hands it over: lower case, no blanks.
  std::string text;
  for (size_t i = 0; i < size; i++) {
    unsigned char c = data[i];
    if (c <= ' ') continue;
    text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  }
  eval_state* pst = getpst(gcmn);
  if (!pst) return 0;
  if (kaexpr(text.c_str(), pst) == 0) kafree(pst);
  delete pst;
  gcmn->interrupt = 0;
  return 0;
}
