// The ADX media type that the parser offers and the decoder accepts: audio,
// the ADX subtype, fixed-size samples, and the 34-byte format block
// (AdxWaveFormat) that carries everything the decoder needs.
#pragma once

#include "adx/AdxHeader.h"
#include "framework/media/MediaTypeRecord.h"

class AdxMediaType {
public:
    // The whole media type for `header` in `type` (reset first).
    // E_OUTOFMEMORY when the format block cannot be stored.
    static HRESULT Build(const AdxHeader& header, MediaTypeRecord& type);
};
