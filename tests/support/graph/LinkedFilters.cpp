#include "LinkedFilters.h"

#include "GraphHelpers.h"

#include "decoder/DecoderFilter.h"
#include "parser/ParserFilter.h"

#include <corvina.h>

namespace testgraph {

HRESULT LinkedFilters::CreateFilter(REFCLSID classId, IBaseFilter** out) const {
    ComPtr<IBaseFilter> filter;
    if (IsEqualCLSID(classId, CLSID_AdxParserFilter)) {
        filter = testgraph::CreateFilter<ParserFilter>();
    } else if (IsEqualCLSID(classId, CLSID_AdxDecoderFilter)) {
        filter = testgraph::CreateFilter<DecoderFilter>();
    } else {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    if (!filter) {
        return E_FAIL;
    }
    *out = filter.detach();
    return S_OK;
}

} // namespace testgraph
