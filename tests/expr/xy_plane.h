// A data set of 5 x 4 points (longitudes 0..4, latitudes 10..40) written by
// the test, and an evaluation state over its whole x-y plane at one level
// on 1 Jan 2000.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "expr/evalstate.h"
#include "data/test_gridread_support.h"
#include "data/result.h"
#include "support/stdout_capture.h"

struct XyPlane : testing::Test {
  vemra_test::TempDir dir;
  grtest::record pfi;
  eval_state st{};

  // Writes data and the descriptor ctl ("dset ^d.dat"), opens it and sets
  // the environment at level lev.
  void open_plane(const std::string& data, const char* ctl, float lev) {
    vemra_test::write_file(dir.file("d.dat"), data);
    pfi = grtest::open_text(dir, ctl);
    ASSERT_TRUE(pfi);
    st.file_list = st.default_file = pfi.get();
    st.file_count = 1;
    st.result_type = 1;
    st.idim = 0;
    st.jdim = 1;
    st.dim_min[0] = 0;
    st.dim_max[0] = 4;
    st.dim_min[1] = 10;
    st.dim_max[1] = 40;
    st.dim_min[2] = st.dim_max[2] = lev;
    st.time_start = st.time_end = {2000, 1, 1, 0, 0};
  }
  void TearDown() override { kafree(&st); }

  // Runs fn with standard output captured into out.
  template <typename Fn>
  void captured(std::string* out, Fn fn) {
    StdoutCapture cap;
    fn();
    *out = cap.text();
  }
};
