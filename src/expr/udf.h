// User-defined functions: computed by external programs that receive their
// arguments in a transfer file and answer with a grid in a result file.
#pragma once

#include <string>

struct eval_state;
struct function_args;

// Kind of one argument position.
enum class udf_arg_kind : int { expr = 1, value = 2, text = 3 };

inline constexpr int kUdfMaxKinds = 8;
inline constexpr int kUdfNameLength = 8;
inline constexpr int kUdfLineLength = 255;

// One function of the table.
struct user_function {
  user_function* next;
  char name[kUdfNameLength + 1];  // lower case
  int min_args;
  int max_args;
  udf_arg_kind arg_types[kUdfMaxKinds];
  int sequential;  // 1: records framed by their byte counts; 0: direct
  std::string command;
  std::string transfer_file;
  std::string result_file;
};

// Builds the list: the table named by KAUDFT (when set), then data_dir_table
// (the "udft" of the data directory; missing is silent).
void kafdef(const std::string& data_dir_table);
// Empties the list.
void kafclr();
// The first function of the list called name, or null.
user_function* kaufnd(const char* name);
// One line per function at level 2.
void kaqufb();
// Handler of every user-defined function: 0 with the result grid in pst, -1
// when an expression argument gave station data, 1 after its messages.
int ffuser(user_function* uf, function_args* args, eval_state* pst);
