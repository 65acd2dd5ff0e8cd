// The data sets an expression reads its values from, found from its text
// before anything is read.
#pragma once

struct eval_state;
struct file_descriptor;

// What the expressions read: the one data set or defined variable all
// their variables come from, or several of them (one then null). Neither
// when they read no variable, or when a part of the text is not understood
// (the evaluation then says what is wrong with it). Only the arguments of a
// function that are expressions are looked into; a user-defined function's
// by the kinds of its table.
struct expression_sources {
  const file_descriptor* one = nullptr;
  bool several = false;
};
expression_sources sources_of(const char* const* texts, int count, const eval_state* pst);
