// The two filters' entries in the filter mapper, so that graph building finds
// the parser for ADX files and the decoder for its output.
#pragma once

#include <windows.h>

// Registers the decoder, then (only if that worked) the parser, in the legacy
// filter category. Returns the mapper's creation failure or the result of the
// last RegisterFilter made.
HRESULT RegisterFilters();
// Removes both entries, decoder first; an entry that is not there counts as
// removed. Returns the mapper's creation failure or the first other failure.
HRESULT UnregisterFilters();
