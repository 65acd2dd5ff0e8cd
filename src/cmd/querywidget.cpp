// "query" keywords of the output file and the window's dialog: the state of
// the fwrite output, and a text typed into the dialog box.
#include <cstdint>
#include <cstring>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "cmd/commands.h"
#include "cmd/setopts.h"
#include "gx/widgets.h"

namespace {

bool host_little_endian() {
  const std::uint16_t one = 1;
  unsigned char first;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

int dialog_syntax() {
  kaprnt(msg_level::error, "QUERY error: Syntax is QUERY DIALOG x y w h ");
  kaprnt(msg_level::error, "string\n");
  return 1;
}

}  // namespace

int kaqfwrite(char*, char*, session_state* pcm) {
  kaprnt(msg_level::result, pcm->fwrite_file ? "FWrite file is open\n" : "FWrite file is closed\n");
  const std::string name = pcm->fwrite_name.empty() ? "vemra.fwrite" : pcm->fwrite_name;
  kaprnt(msg_level::result, "FWrite file name is: " + name + "\n");
  kaprnt(msg_level::result, pcm->fwrite_byte_order ? "FWrite byte order is big_endian "
                                                   : "FWrite byte order is little_endian ");
  kaprnt(msg_level::result, host_little_endian() ? "; machine byte order is little_endian\n"
                                                 : "; machine byte order is big_endian\n");
  return 0;
}

int kaqdialog(char* lower, char* typed, session_state* pcm) {
  dialog_request r;
  const char* p = nxtwrd(lower);
  if (!p) return dialog_syntax();
  float v[4];
  if (valprs(p, &v[0])) {
    // A first number asks for the box's place and size before the text.
    for (int i = 1; i < 4; i++)
      if (!(p = nxtwrd(p)) || !valprs(p, &v[i])) return dialog_syntax();
    if (!(p = nxtwrd(p))) return dialog_syntax();
    r.x = v[0], r.y = v[1], r.w = v[2], r.h = v[3];
  }
  if (!gxdwin()) {
    kaprnt(msg_level::error, "QUERY DIALOG error:  no graphics window to show it on\n");
    return 1;
  }
  const int* d = pcm->dialog_defaults;
  r.pc = d[3], r.fc = d[0], r.bc = d[1], r.oc = d[2], r.thick = d[4];
  r.numeric = d[5];
  r.text = setopt::rest_at(typed + (p - lower));
  r.len = static_cast<int>(r.text.size());
  kaprnt(msg_level::result, gxdlg(r));
  return 0;
}
