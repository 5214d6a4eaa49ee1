// The module's filters made in this test program from the linked parser and
// decoder libraries, the way the module's factory makes them.
#pragma once

#include "tools/corvina-play/playback/FilterFactory.h"

namespace testgraph {

class LinkedFilters final : public FilterFactory {
public:
    // The parser or the decoder; E_FAIL when the create function fails,
    // CLASS_E_CLASSNOTAVAILABLE for any other class.
    HRESULT CreateFilter(REFCLSID classId, IBaseFilter** out) const override;
};

} // namespace testgraph
