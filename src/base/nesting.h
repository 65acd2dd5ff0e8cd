// Limits of nested work: the machine stack that recursion uses up, and the
// parentheses and prefixes an expression keeps open.
#pragma once

#include <cstddef>
#include <vector>

// True when the machine stack is nearly used up, whatever its size (a small
// "ulimit -s", a thread, a sanitizer's larger frames): the recursive parts
// (nested script blocks and calls, nested function calls of expressions)
// stop there with an error, and what lies below is kept for the work of the
// innermost level.
bool stack_low();

// The parentheses and prefix operators an expression scan has opened and
// not yet closed. A prefix applies to the next operand, so it closes when
// that operand (or the group it opens) is complete.
class open_levels {
 public:
  std::size_t size() const { return open_.size(); }
  void open_group() { open_.push_back('('); }
  void open_prefix() { open_.push_back('-'); }
  // An operand is complete: the prefixes before it close.
  void operand_done() {
    while (!open_.empty() && open_.back() == '-') open_.pop_back();
  }
  // A ')': its group closes and the group is an operand; a ')' with no group
  // open closes nothing.
  void close_group() {
    operand_done();
    if (!open_.empty() && open_.back() == '(') open_.pop_back();
    operand_done();
  }

 private:
  std::vector<char> open_;
};
