// Libraries opened on first use: a library or entry point that cannot be
// found is reported once, by name, and the calls that need it get nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "base/lazylib.h"
#include "support/stdout_capture.h"

namespace {

TEST(LazyLibrary, MissingLibraryIsReportedOnceAndGivesNoEntries) {
  lazy_library lib("test", "libvemra-no-such-library.so.7");
  StdoutCapture out;
  EXPECT_EQ(lib.entry("nc_open"), nullptr);
  EXPECT_EQ(lib.entry("nc_close"), nullptr);
  std::string printed = out.text();
  EXPECT_EQ(printed.find("Cannot load the test library libvemra-no-such-library.so.7: "), 0u)
      << printed;
  // One line, however many entry points were asked for.
  EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << printed;
  EXPECT_EQ(lib.failure() + "\n", printed);
}

TEST(LazyLibrary, EntriesOfALoadedLibraryAreItsFunctions) {
  lazy_library lib("maths", "libm.so.6");
  StdoutCapture out;
  auto cosine = lazy_entry<double (*)(double)>(lib, "cos");
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(M_PI / 3), 0.5);
  EXPECT_TRUE(lib.failure().empty());

  EXPECT_EQ(lib.entry("vemra_no_such_entry"), nullptr);
  EXPECT_EQ(lib.entry("vemra_no_such_entry"), nullptr);
  EXPECT_EQ(out.text(), "The maths library libm.so.6 has no entry point vemra_no_such_entry\n");
  // The library stays usable for the entries it has.
  EXPECT_NE(lib.entry("sqrt"), nullptr);
}

}  // namespace
