#pragma once

// The fast paths that take sixteen bytes at a time use SSE2 where the compiler
// targets it. Every one has a plain branch beside it, for machines without SSE2
// (arm64): VELMOR_PLAIN (the CMake option VELMOR_PLAIN) builds those on x86-64 too,
// so that the test suite runs them.
#if defined(__SSE2__) && !defined(VELMOR_PLAIN)
#define VELMOR_SSE2 1
#include <emmintrin.h>
#else
#define VELMOR_SSE2 0
#endif
