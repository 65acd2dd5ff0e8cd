// "set" keywords of the output type and the non-graphic output files:
// gxout, fwrite, writegds, imprun, stat, stnprint and prnopts.
#include <cstring>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "base/userfmt.h"
#include "plot/plottype.h"

using namespace setopt;

int set_gxout(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  // An unknown word still ends a stat, print or writegds output.
  return set_plot_type(a.pcm, p) ? 0 : set_error(a.code);
}

int set_fwrite(set_args& a) {
  session_state* s = a.pcm;
  if (s->fwrite_file) {
    kaprnt(msg_level::error, "SET FWrite Error:  fwrite file is open\n");
    kaprnt(msg_level::error, "Use DISABLE FWRITE command to close file\n");
    return 1;
  }
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    if (cmpwrd("-be", p))
      s->fwrite_byte_order = 1;
    else if (cmpwrd("-le", p))
      s->fwrite_byte_order = 0;
    else if (cmpwrd("-sq", p))
      s->fwrite_sequential = 1;
    else if (cmpwrd("-st", p))
      s->fwrite_sequential = 0;
    else {
      s->fwrite_name = word_at(typed_at(a, p));
      kaprntf(msg_level::result, "FWrite file name = %s\n", s->fwrite_name.c_str());
      kaprnt(msg_level::result, s->fwrite_byte_order
                                    ? "FWwrite byte order is big_endian; format is "
                                    : "FWwrite byte order is little_endian; format is ");
      kaprnt(msg_level::result, s->fwrite_sequential ? "sequential\n" : "stream\n");
      return 0;
    }
  }
  return set_error(a.code);
}

int set_writegds(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  // An option word comes first; the file name is the word after it, or the
  // first word when there is no option word.
  const char* q = p;
  if (*p == '-') {
    s->writegds.options = word_at(typed_at(a, p));
    q = nxtwrd(p);
  }
  if (!q) return set_error(a.code);
  s->writegds.name = word_at(typed_at(a, q));
  if (!s->writegds.options.empty())
    kaprntf(msg_level::result, "WRITEGDS file name = %s  Opts = %s\n", s->writegds.name.c_str(),
            s->writegds.options.c_str());
  else
    kaprntf(msg_level::result, "WRITEGDS file name = %s\n", s->writegds.name.c_str());
  return 0;
}

int set_imprun(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    s->imprun.clear();
    s->imprun_set = 0;
    kaprnt(msg_level::result, "IMPrun is off\n");
    return 0;
  }
  s->imprun = "run " + word_at(p);
  s->imprun_set = 1;
  kaprntf(msg_level::result, "Imprun file name = %s\n", s->imprun.c_str());
  return 0;
}

int set_stat(set_args& a) { return flag_switch(a, &a.pcm->stat); }

int set_stnprint(set_args& a) { return flag_switch(a, &a.pcm->stnprint); }

int set_prnopts(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  std::string format = word_at(typed_at(a, p));
  // The format reaches printf with a float: anything but one floating
  // conversion would read arguments that are not there.
  if (!kafmtok(format.c_str())) {
    kaprntf(msg_level::error,
            "SET PRNOPTS error:  format %s needs exactly one floating conversion\n",
            format.c_str());
    return set_error(a.code);
  }
  s->prnopts_format = format;
  if (!(p = nxtwrd(p))) return 0;
  int count;
  if (!intprs(p, &count) || count < 1) return set_error(a.code);
  s->prnopts_count = count;
  if (!(p = nxtwrd(p))) return 0;
  int blanks;
  if (!intprs(p, &blanks) || blanks < 0 || blanks > 1000) return set_error(a.code);
  s->prnopts_blanks = blanks;
  if (!(p = nxtwrd(p))) return 0;
  s->prnopts_undef = *p == 'u' ? 1 : 0;
  return 0;
}
