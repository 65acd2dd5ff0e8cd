// Station functions: stnave, stnmin and stnmax reduce station data over a
// range of times, station by station.
#pragma once

#include <memory>

struct function_args;
struct eval_state;
struct station_set;

int ffsave(function_args* args, eval_state* pst);
int ffsmin(function_args* args, eval_state* pst);
int ffsmax(function_args* args, eval_state* pst);

// The worker of stnmin (flag 0) and stnmax (flag 1).
int ffsmnx(function_args* args, eval_state* pst, int flag);

// The minimum-count option ("-m n"): 0 with the count stored, 1 after a
// message.
int fndarg(const char* text, int* count);

// What the reduction keeps of each station's values.
enum class station_reduction : int { average, minimum, maximum };

// The reduction of the station sets of successive times, station by station
// (a station is its id, latitude and longitude). The result takes the
// header of the first set and lists the stations in the order first seen.
class station_fold {
 public:
  explicit station_fold(station_reduction kind);
  ~station_fold();
  station_fold(const station_fold&) = delete;
  station_fold& operator=(const station_fold&) = delete;

  // Folds in the reports of one time (the set stays the caller's). The
  // average first takes several reports of one station within the time as
  // one value, their mean. False after a message when memory runs out.
  bool add(const station_set* s);
  // The result (the caller's from then on): averages are made of the values
  // gathered; a station with fewer than min_count values is undefined.
  // Null when nothing was added.
  station_set* finish(int min_count);

 private:
  struct table;
  std::unique_ptr<table> t_;
};
