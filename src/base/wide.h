// Vector lanes for the hot loops over grid values. The loops are written on
// these lanes either way; where the processor has wider registers a second
// copy of the function is built for them and chosen at run time, with the
// same lanes and order of additions, so the results are the same.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VEMRA_WIDE __attribute__((target_clones("avx2", "default")))
// With fused multiply-add too: only where every product is exact in double
// (squares of floats), so fused or not the result is the same.
#define VEMRA_WIDE_FMA __attribute__((target_clones("arch=x86-64-v3", "avx2", "default")))
#else
#define VEMRA_WIDE
#define VEMRA_WIDE_FMA
#endif

using float8 = float __attribute__((vector_size(32)));
using int8v = int __attribute__((vector_size(32)));
using long4 = long long __attribute__((vector_size(32)));
using double4 = double __attribute__((vector_size(32)));
