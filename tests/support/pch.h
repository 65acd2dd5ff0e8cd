// The headers every test program shares, precompiled once per program.
// They are system headers: their inlined code keeps the warnings it has
// when included directly.
#pragma once
#pragma GCC system_header

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
