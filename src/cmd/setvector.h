// "set" keywords of vector, streamline, grid-value, bar, line, line-fill
// and station plots (setvector.cpp).
#pragma once

#include "cmd/setkw.h"

int set_arrscl(set_args& a);
int set_arrlab(set_args& a);
int set_arrowhead(set_args& a);
int set_hempref(set_args& a);
int set_strmden(set_args& a);
int set_dignum(set_args& a);
int set_digsiz(set_args& a);
int set_gridln(set_args& a);
int set_baropts(set_args& a);
int set_barbase(set_args& a);
int set_bargap(set_args& a);
int set_missconn(set_args& a);
int set_mdlopts(set_args& a);
int set_stid(set_args& a);
int set_wxopt(set_args& a);
int set_wxcols(set_args& a);
int set_lfcols(set_args& a);
