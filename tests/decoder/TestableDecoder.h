// The decoder with its hooks opened up, so a test can drive TransformSample
// and the type hooks without a graph.
#pragma once

#include "decoder/DecoderFilter.h"
#include "framework/com/ComPtr.h"

namespace decodertest {

class TestableDecoder : public DecoderFilter {
public:
    TestableDecoder() : DecoderFilter(nullptr) {}
    using DecoderFilter::AcceptInputType;
    using DecoderFilter::AcceptTransform;
    using DecoderFilter::AdoptFormat;
    using DecoderFilter::ProposeOutputType;
    using DecoderFilter::SizeOutputBuffers;
    using DecoderFilter::TransformSample;
};

// Owns a TestableDecoder through one reference on its non-delegating
// IUnknown; the last release destroys it.
struct DecoderHolder {
    DecoderHolder() : decoder(new TestableDecoder()), unknown(decoder->NonDelegatingUnknown()) {}
    TestableDecoder* decoder;
    ComPtr<IUnknown> unknown; // one reference: the filter's lifetime
};

} // namespace decodertest
