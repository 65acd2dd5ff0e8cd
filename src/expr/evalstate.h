// The evaluation state that display, define and collect build from the
// session and hand to the expression evaluator, and the node of the session's
// list of defined variables.
#pragma once

#include <memory>

#include "base/timecal.h"
#include "data/result.h"

struct file_descriptor;
struct collection_entry;
struct session_state;

// One defined variable; the list belongs to the session.
struct defined_entry {
  defined_entry* next;
  file_descriptor* file;  // owned, a defined_file: holds the grid in memory
  char name[20];          // at most 17 characters
};

// One station set kept by "collect"; the chains belong to the session.
struct collection_entry {
  collection_entry* next;
  station_ptr set;
};

// The environment an evaluation runs in.
struct eval_env {
  file_descriptor* file_list;
  file_descriptor* default_file;
  int file_count;
  defined_entry* defined_list;
  collection_entry** collections;  // the session's 32 collection heads
  int* collection_count;           // and their counts
  int idim, jdim;                  // varying dimensions (0 x .. 3 t, -1 none)
  float dim_min[3], dim_max[3];    // world ranges of x, y, z
  date_time time_start, time_end;
  // kaexpr calls active on this evaluation: a function's argument runs on the
  // state or on a copy of it, so 1 marks the outermost (0 between commands).
  int pass = 0;
  // Nesting levels open around the expression being scanned: those of the
  // enclosing expressions, one for each function call between.
  int nest = 0;
};

// An evaluation: its environment and its result. The result has one owner,
// so a copy of a state takes the environment only and starts with no result.
struct eval_state : eval_env {
  result_value result;  // set by the evaluator; none at first

  eval_state() = default;
  eval_state(const eval_state& other) : eval_env(other) {}
  eval_state& operator=(const eval_state& other) {
    eval_env::operator=(other);
    result = std::monostate{};
    return *this;
  }
  eval_state(eval_state&&) = default;
  eval_state& operator=(eval_state&&) = default;
  ~eval_state() = default;
};

// Releases the result an evaluation state holds and clears it.
void kafree(eval_state* pst);

// Owner of a state made by getpst: releases its result and the state.
struct eval_state_releaser {
  void operator()(eval_state* pst) const {
    kafree(pst);
    delete pst;
  }
};
using eval_state_ptr = std::unique_ptr<eval_state, eval_state_releaser>;

// A new state from the session's environment, or null after a level-0
// message when the environment is invalid.
eval_state_ptr getpst(session_state* pcm);
