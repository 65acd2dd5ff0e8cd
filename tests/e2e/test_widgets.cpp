// Widget commands and the fwrite query in batch mode, where there is no
// window: every widget command does nothing, quietly, and the dialog is
// refused.
#include <gtest/gtest.h>

#include <string>

#include "e2e/dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::expect_steps;

TEST(BatchWidgets, WidgetCommandsDoNothingWithoutAWindow) {
  TempDir dir;
  expect_steps(dir, "",
               {{"draw button 1 2 2 1 0.5 Go", ""},
                {"redraw button 1 1 1 New", ""},
                {"draw dropmenu 5 1 8 1 0.4 File|Open|More >12>|Quit", ""},
                {"draw dropmenu 12 cascade Red|Green", ""},
                {"set rband 3 mb2 box 1 1 5 5", ""},
                {"clear button 1", ""},
                {"clear dropmenu 5", ""},
                {"clear dropmenu 999", ""},
                {"q pos", "Position = -999.9 -999.9 -1 -1\n"},
                {"q dialog Enter name", "QUERY DIALOG error:  no graphics window to show it on\n"},
                // The syntax is checked first.
                {"q dialog 1 2 3 4", "QUERY error: Syntax is QUERY DIALOG x y w h string\n"}});
}

TEST(QueryFwrite, ReportsTheOutputFileAndItsByteOrder) {
  TempDir dir;
  const std::string host = "; machine byte order is little_endian\n";
  dsfiles::write_grid(dir, "g", 4, 90, 3, "zdef 1 levels 1000", 1, 1);
  expect_steps(dir, "open g.ctl\n",
               {{"q fwrite",
                 "FWrite file is closed\nFWrite file name is: vemra.fwrite\n"
                 "FWrite byte order is big_endian " +
                     host},
                {"set gxout fwrite", "-"},
                {"set fwrite -le Out.bin", "-"},
                {"set x 1", "-"},
                {"set y 1", "-"},
                {"d 4", "-"},
                {"q fwrite",
                 "FWrite file is open\nFWrite file name is: Out.bin\n"
                 "FWrite byte order is little_endian " +
                     host},
                {"disable fwrite", "-"},
                // Closing the file puts the default name and order back.
                {"q fwrite",
                 "FWrite file is closed\nFWrite file name is: vemra.fwrite\n"
                 "FWrite byte order is big_endian " +
                     host}});
  EXPECT_EQ(read_file(dir.file("Out.bin")), std::string("\0\0\x80\x40", 4));
}
