#pragma once
// The vector instruction sets the image operations are written for. SSE2 is
// part of every x86-64 processor, so the AVX2 loops, chosen at run time, can
// always leave their narrower tails to it.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define KV_HAVE_AVX2_PATH 1
#endif
