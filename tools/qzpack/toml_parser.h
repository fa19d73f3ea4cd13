// toml++ as qzpack includes it. Version 3.3 asserts that a table header's key starts with a key
// character, which "[[" at the end of a line breaks: the debug build then aborts, and clang's
// optimised build takes the assertion for a promise (undefined behaviour). Past the assertion the
// parser reports the fault itself, so its assertions are turned off, and NDEBUG is lifted while
// it is included so that they are not turned into promises either.
#pragma once

#ifdef NDEBUG
#define QZPACK_NDEBUG_WAS_SET
#undef NDEBUG
#endif
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>
#ifdef QZPACK_NDEBUG_WAS_SET
#define NDEBUG
#undef QZPACK_NDEBUG_WAS_SET
#endif
