// Stand-ins for command handlers and services whose subsystems are not built
// yet. Each answers with a clear level-0 error and returns 1, so a user or a
// script learns at once that the command is not available; none pretends to
// work. Whoever builds one of them deletes its entry here in the same commit
// (and, for a feature of the configuration report, its word in kapending).
#include <cstring>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/session.h"

namespace {

int not_yet(const char* name) {
  kaprnt(msg_level::error, name);
  kaprnt(msg_level::error, " error:  not available yet\n");
  return 1;
}

}  // namespace

int kapending(const char* feature) {
  // Every feature of the configuration report is built; the list stays for
  // the next one that is not.
  static const char* const pending[] = {nullptr};
  for (const char* p : pending)
    if (p && std::strcmp(p, feature) == 0) return 1;
  return 0;
}


