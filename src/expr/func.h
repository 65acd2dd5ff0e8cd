// Function calls of the expression language: the argument record, the
// handler convention of built-in functions and the table they are found in.
#pragma once

struct eval_state;

inline constexpr int kMaxFunctionArgs = 20;
inline constexpr int kFunctionArgText = 1000;

// The arguments of one call: texts split at the top-level commas.
struct function_args {
  int count;
  char* args[kMaxFunctionArgs];  // each NUL-terminated, pointing into text
  char text[kFunctionArgText];
};

// A built-in function. It evaluates its own arguments with kaexpr under the
// state it is given (its own copy) and leaves its result there. Returns 0
// success, -1 when an argument was station data where a grid is needed,
// anything else after its own message.
using function_handler = int (*)(function_args* args, eval_state* pst);

struct builtin_function {
  const char* name;
  function_handler handler;
  int expressions;  // the first arguments that are expressions
};

inline constexpr int kBuiltinCount = 50;
extern const builtin_function builtin_functions[kBuiltinCount];

// The built-in function called name, or null.
const builtin_function* builtin_named(const char* name);

// Calls the function `name`; text is the position right after the name.
// Returns the position after the call (after its ")", or text itself when no
// "(" follows) with the result in pst, or null after the messages.
const char* rtnprs(const char* text, const char* name, eval_state* pst);

// Splits the argument list that starts at text (at "(" or not) into args.
// Returns the position after the list, or null after a message.
const char* kaargs(const char* text, const char* name, function_args* args);
