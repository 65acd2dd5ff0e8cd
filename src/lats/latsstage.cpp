#include "lats/latsstage.h"

#include "base/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
  replaced_.clear();
  exchanged_.clear();
  target_ = target;
  kind_ = lats_kind_of(target_).value_or(lats_target_kind::file);
  // A set is replaced whole or not at all, so it is always staged: never
  // written in place, even where links or the owner are not kept.
  output_plan plan = plan_output(target_, false);
  switch (plan.how) {
    case output_plan::refused: return false;
    case output_plan::beside:
      fd_ = plan.fd;
      temp_ = plan.temp;
      origin_ = std::move(plan.origin);
      return true;
    case output_plan::in_place:
    case output_plan::special: return true;
  }
  return false;
}

bool lats_staged::target_exists() const { return lats_kind_of(target_).has_value(); }

void lats_staged::take_target_owner_and_mode() const {
  if (fd_ >= 0) take_owner_and_mode(fd_, target_, origin_);
}

bool lats_staged::still_held() {
  if (temp_.empty() || stage_still_named(fd_, temp_)) return true;
  // Another file under the stage's name is not this session's: neither
  // placed nor removed.
  replaced_ = temp_;
  release_staged(temp_);
  errno = ESTALE;
  return false;
}

std::string lats_staged::failure(int err) const {
  if (err != ESTALE) return std::strerror(err);
  if (!exchanged_.empty()) return stage_exchanged(exchanged_, target_);
  return !replaced_.empty() ? stage_replaced(replaced_) : std::strerror(err);
}

bool lats_staged::commit(std::vector<std::string>& not_back) {
  // Placed as a set of one: a stage exchanged for another's file as it is
  // renamed gives the old file back.
  const bool done = lats_place_together({this}, not_back) < 0;
  const int why = errno;
  discard();
  errno = why;
  return done;
}

void lats_staged::discard() {
  placed_ = placed::no;
  drop_staged(temp_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  origin_.over.reset();
  displaced_.reset();
}

bool lats_staged::place() {
  placed_ = placed::no;
  if (temp_.empty()) return true;
  if (!still_held()) return false;
  take_target_owner_and_mode();
  // Held, so that a put-back can tell whether the name holds it again.
  displaced_ = hold_file(target_);
  // The old file and the new one change names in one step: the old one is
  // kept under the staged name, and no reader finds the name missing.
  const std::string stage = temp_;
  if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
    placed_ = placed::swapped;
  } else {
    if (errno != ENOENT && errno != EINVAL && errno != ENOSYS) return false;
    // No old file, or a file system that cannot exchange names: a plain
    // rename.
    const bool had_old = target_exists();
    if (!commit_staged(temp_, target_)) return false;
    placed_ = had_old ? placed::without_old : placed::fresh;
  }
  // Another user who may write the directory can exchange a file of theirs
  // with the stage between its check and the rename.
  if (stage_still_named(fd_, target_)) return true;
  exchanged_ = stage;
  errno = ESTALE;
  return false;
}

bool lats_staged::unplace() {
  const placed was = placed_;
  placed_ = placed::no;
  switch (was) {
    case placed::no: return true;
    case placed::swapped:
      if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0 ||
          std::rename(temp_.c_str(), target_.c_str()) == 0) {
        // The staged name may hold another's file now (one exchanged with
        // the stage), or the old one: only the new file is removed.
        if (!stage_still_named(fd_, temp_)) release_staged(temp_);
        const bool back = back_as_it_was();
        discard();
        return back;
      }
      // The old file stays where it is kept, never removed as a staged one.
      release_staged(temp_);
      return false;
    case placed::fresh:
      // Another's file under the name is not removed.
      if (exchanged_.empty() && ::unlink(target_.c_str()) != 0 && errno != ENOENT) return false;
      return back_as_it_was();
    case placed::without_old: errno = EXDEV; return false;
  }
  return false;
}

bool lats_staged::back_as_it_was() const {
  if (displaced_.get() >= 0) return stage_still_named(displaced_.get(), target_);
  return !stage_still_named(fd_, target_);
}

void lats_staged::settle() {
  if (placed_ == placed::swapped) discard();
  placed_ = placed::no;
}

int lats_place_together(std::initializer_list<lats_staged*> parts,
                        std::vector<std::string>& not_back) {
  not_back.clear();
  ending_signals_held held;
  int at = 0;
  for (lats_staged* part : parts) {
    if (!part->place()) {
      const int why = errno;
      // Back in the reverse order: the data file last, as it was first. The
      // one that failed may have been renamed already.
      for (int k = at; k >= 0; --k)
        if (lats_staged* back = parts.begin()[k]; !back->unplace())
          not_back.push_back(back->target_);
      for (lats_staged* p : parts) p->discard();
      errno = why;
      return at;
    }
    ++at;
  }
  for (lats_staged* part : parts) part->settle();
  return -1;
}

std::string lats_left_after(const std::vector<std::string>& not_back, const char* as_before,
                            bool set) {
  if (not_back.empty()) return as_before;
  std::string names;
  for (const std::string& name : not_back) names += (names.empty() ? "" : " and ") + name;
  return names + (not_back.size() > 1 ? " were" : " was") + " not put back" +
         (set ? ": the set is not whole" : "");
}
