// Invariant checks that stay active in every build type.
//
// A broken invariant is reported through the C runtime's wide-character assertion handler with the
// expression, the source file named by the caller and the line, exactly like assert(), but NDEBUG
// does not remove it.
#pragma once

#include <assert.h>

#define TSR_WIDEN_(text) L##text
#define TSR_WIDEN(text) TSR_WIDEN_(text)

#define TSR_INVARIANT(expression, sourceName)                                                                \
    ((expression) ? (void)0 : _wassert(TSR_WIDEN(#expression), sourceName, __LINE__))
