// Command handlers reached from the dispatcher. Each receives the lower-cased
// line and the line as typed (same character positions) and returns 0 done,
// 1 error, -1 quit.
#pragma once

struct session_state;
