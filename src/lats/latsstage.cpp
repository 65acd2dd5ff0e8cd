#include "lats/latsstage.h"

#include "base/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

std::optional<lats_target_kind> lats_kind_of(const std::string& name) {
  struct stat st;
  if (::stat(name.c_str(), &st) != 0) return std::nullopt;
  if (S_ISREG(st.st_mode)) return lats_target_kind::file;
  if (S_ISCHR(st.st_mode)) return lats_target_kind::device;
  if (S_ISFIFO(st.st_mode)) return lats_target_kind::pipe;
  return lats_target_kind::other;
}

bool lats_staged::open(const std::string& target) {
  discard();
  target_ = target;
  kind_ = lats_kind_of(target_).value_or(lats_target_kind::file);
  // A set is replaced whole or not at all, so it is always staged: never
  // written in place, even where links or the owner are not kept.
  output_plan plan = plan_output(target_, false);
  switch (plan.how) {
    case output_plan::refused: return false;
    case output_plan::beside:
      ::close(plan.fd);
      temp_ = plan.temp;
      return true;
    case output_plan::in_place:
    case output_plan::special: return true;
  }
  return false;
}

bool lats_staged::target_exists() const { return lats_kind_of(target_).has_value(); }

bool lats_staged::commit() { return commit_staged(temp_, target_); }

void lats_staged::discard() { drop_staged(temp_); }
