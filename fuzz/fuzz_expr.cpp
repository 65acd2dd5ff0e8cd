// Fuzz target: the expression parser and evaluator over the sample data set
// (opened once), as "display" hands them an expression.
#include <sys/time.h>

#include <csignal>
#include <cstdint>
#include <new>
#include <string>

#include "base/session.h"
#include "cmd/dispatch.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "fuzz_support.h"

namespace {

// A long request (an average over thousands of times) is legitimate; as a
// user would, interrupt it after a second of CPU time. The evaluator polls
// the flag. libFuzzer's own timeout uses the real-time alarm.
void interrupt(int) { gcmn->interrupt = 1; }

void arm_interrupt() {
  itimerval t{};
  t.it_value.tv_sec = 1;
  setitimer(ITIMER_VIRTUAL, &t, nullptr);
}

void disarm_interrupt() {
  itimerval t{};
  setitimer(ITIMER_VIRTUAL, &t, nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::signal(SIGVTALRM, interrupt);
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
  eval_state_ptr pst = getpst(gcmn);
  if (!pst) return 0;
  arm_interrupt();
  // Running out of memory fails the request, as the command dispatcher has it.
  try {
    kaexpr(text.c_str(), pst.get());
  } catch (const std::bad_alloc&) {
  }
  disarm_interrupt();
  pst.reset();
  gcmn->interrupt = 0;
  return 0;
}
