// Output files of the writer are made beside their targets and renamed into
// place only when complete: a full disk, a size limit or a session that ends
// early never damages the old file, and of two sessions writing one name each
// file ends up as one session's whole output.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "base/safefile.h"

// What a target name is when it exists as no regular file.
enum class lats_target_kind {
  file,    // a regular file, or no file yet: staged beside it
  device,  // a character device (/dev/null): written in place
  pipe,    // a FIFO: written in place once a reader is there
  other,   // a directory, block device or socket: refused
};

// What is under name now; none when no file is.
std::optional<lats_target_kind> lats_kind_of(const std::string& name);

class lats_staged {
 public:
  lats_staged() = default;
  ~lats_staged() { discard(); }
  lats_staged(const lats_staged&) = delete;
  lats_staged& operator=(const lats_staged&) = delete;

  // Reserves an empty file beside target (a link's target is the one
  // replaced). A target that exists and is no regular file (a device, a
  // pipe), has several links, whose owner cannot be kept or beside which no
  // file can be made is written in place. false with errno set when the user
  // may not write target.
  bool open(const std::string& target);
  // Where to write now.
  const std::string& path() const { return temp_.empty() ? target_ : temp_; }
  // The staged file, held open from its making to its placing (-1 when
  // written in place): it is written and read back through this, never by
  // its name, which another user may reuse in a directory they may write.
  int fd() const { return fd_; }
  // A name that reads the staged file itself (path() when written in place).
  std::string held_path() const { return fd_ >= 0 ? held_file_path(fd_) : path(); }
  // Why the set was not placed after a failed place or commit with err.
  std::string failure(int err) const;
  // True when a file of the target's name exists now. Asked at the close,
  // under the directory lock: another session may have made or removed one
  // since the open.
  bool target_exists() const;
  // True when the target is written in place.
  bool in_place() const { return temp_.empty(); }
  // What the target was at open.
  lats_target_kind kind() const { return kind_; }
  // Renames the written file onto the target; false with errno set, in which
  // case the written file is removed and the target left as it was. A stage
  // whose name no longer names the file held is not placed, nor one that
  // another user exchanged for theirs as it was renamed (errno ESTALE);
  // not_back then names the target where its old file could not be given
  // back.
  bool commit(std::vector<std::string>& not_back);
  bool commit() {
    std::vector<std::string> not_back;
    return commit(not_back);
  }
  // Removes what was written (nothing for a target written in place).
  void discard();

 private:
  friend int lats_place_together(std::initializer_list<lats_staged*> parts,
                                 std::vector<std::string>& not_back);
  // The owner, group and mode of the file opened over, where the target's
  // name still holds it, go to the written file: its owner may have changed
  // them since the open.
  void take_target_owner_and_mode() const;
  // Puts the written file under the target's name, the old file (if any)
  // under the staged name until settle or unplace; false with errno set,
  // ESTALE also where the name then holds another's file, not the one
  // written (unplace puts the old file back).
  bool place();
  // Puts the old file back, or removes the new one where there was none;
  // false with errno set when it cannot, or when the name then holds neither
  // the file put aside nor, where there was none, anything but the new one.
  // Another's file exchanged with the stage is neither placed nor removed.
  bool unplace();
  // True when the target's name holds the file the placing put aside, or,
  // where there was none, not the new file.
  bool back_as_it_was() const;
  // Removes the old file kept by place.
  void settle();

  // False (errno ESTALE) when the stage's name no longer names the file held.
  bool still_held();

  std::string target_;
  std::string temp_;       // empty when written in place or after commit/discard
  int fd_ = -1;            // the staged file, while temp_ names it
  std::string replaced_;   // the stage found replaced, for failure()
  std::string exchanged_;  // the stage found exchanged at placing, for failure()
  stage_origin origin_;    // what the stage was made over and as
  owned_fd displaced_;     // the file under the target's name as it was placed
  lats_target_kind kind_ = lats_target_kind::file;
  enum class placed { no, swapped, fresh, without_old } placed_ = placed::no;
};

// Puts the written files of a set under their names as one: each old file is
// kept until all are placed and put back where one cannot be, and the
// signals that end the process wait until the set is placed or put back.
// -1 when all are placed; else the position in parts of the one that could
// not be (errno says why; ESTALE where its name held another's file after
// the rename), with not_back naming each target that does not hold again
// what it held (the file system could not keep its old file aside, or
// another user who may write the directory exchanged files with its stage
// as it was put back); empty when the set is as it was.
int lats_place_together(std::initializer_list<lats_staged*> parts,
                        std::vector<std::string>& not_back);
// What a failed placing left: as_before where not_back is empty, else what
// was not put back and, for a set of several files, that it is not whole.
std::string lats_left_after(const std::vector<std::string>& not_back, const char* as_before,
                            bool set = true);
