#include "framework/media/MediaTypeRecord.h"

#include <objbase.h>

#include <cstring>

namespace {

bool SameFormatBlock(const AM_MEDIA_TYPE& left, const AM_MEDIA_TYPE& right) {
    if (left.cbFormat != right.cbFormat) {
        return false;
    }
    return left.cbFormat == 0 || std::memcmp(left.pbFormat, right.pbFormat, left.cbFormat) == 0;
}

} // namespace

MediaTypeRecord::~MediaTypeRecord() {
    ReleaseContents(this);
}

void MediaTypeRecord::Reset() {
    majortype = GUID_NULL;
    subtype = GUID_NULL;
    bFixedSizeSamples = TRUE;
    bTemporalCompression = FALSE;
    lSampleSize = 1;
    formattype = GUID_NULL;
    pUnk = nullptr;
    cbFormat = 0;
    pbFormat = nullptr;
}

void MediaTypeRecord::SetSampleSize(ULONG sampleSizeBytes) {
    if (sampleSizeBytes == 0) {
        bFixedSizeSamples = FALSE;
        return;
    }
    bFixedSizeSamples = TRUE;
    lSampleSize = sampleSizeBytes;
}

BYTE* MediaTypeRecord::ReserveFormat(ULONG sizeBytes) {
    // Asking for no block never gives up an existing one: a zero-byte block
    // with cbFormat 0 would never be freed.
    if (sizeBytes == cbFormat || sizeBytes == 0) {
        return cbFormat == 0 ? nullptr : pbFormat;
    }
    BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeBytes));
    if (block == nullptr) {
        return cbFormat >= sizeBytes ? pbFormat : nullptr;
    }
    if (cbFormat != 0) {
        CoTaskMemFree(pbFormat);
    }
    pbFormat = block;
    cbFormat = sizeBytes;
    return block;
}

BOOL MediaTypeRecord::SetFormat(const BYTE* bytes, ULONG sizeBytes) {
    BYTE* block = ReserveFormat(sizeBytes);
    if (block == nullptr) {
        return FALSE;
    }
    if (sizeBytes != 0) {
        std::memcpy(block, bytes, sizeBytes);
    }
    return TRUE;
}

HRESULT MediaTypeRecord::Assign(const AM_MEDIA_TYPE& other) {
    if (&other == static_cast<const AM_MEDIA_TYPE*>(this)) {
        return S_OK;
    }
    ReleaseContents(this);
    return FAILED(DeepCopyMediaType(this, &other)) ? E_OUTOFMEMORY : S_OK;
}

bool MediaTypeRecord::Equals(const AM_MEDIA_TYPE& other) const {
    return IsEqualGUID(majortype, other.majortype) && IsEqualGUID(subtype, other.subtype) &&
           IsEqualGUID(formattype, other.formattype) && SameFormatBlock(*this, other);
}

bool MediaTypeRecord::IsPartial() const {
    return IsEqualGUID(majortype, GUID_NULL) || IsEqualGUID(formattype, GUID_NULL);
}

bool MediaTypeRecord::MatchesPattern(const AM_MEDIA_TYPE& pattern) const {
    if (!IsEqualGUID(pattern.majortype, GUID_NULL) && !IsEqualGUID(pattern.majortype, majortype)) {
        return false;
    }
    if (!IsEqualGUID(pattern.subtype, GUID_NULL) && !IsEqualGUID(pattern.subtype, subtype)) {
        return false;
    }
    if (IsEqualGUID(pattern.formattype, GUID_NULL)) {
        return true;
    }
    return IsEqualGUID(pattern.formattype, formattype) && SameFormatBlock(*this, pattern);
}

void MediaTypeRecord::MoveTo(AM_MEDIA_TYPE* target) {
    *target = *this; // the block and pUnk change owner
    Reset();
}

HRESULT DeepCopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
    if (target == nullptr || source == nullptr) {
        return E_POINTER;
    }
    HRESULT result = S_OK;
    *target = *source;
    if (source->cbFormat != 0) {
        target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
        if (target->pbFormat == nullptr || source->pbFormat == nullptr) {
            // Out of memory, or a peer's type that claims a block it does not
            // have: the copy goes without one.
            CoTaskMemFree(target->pbFormat);
            target->pbFormat = nullptr;
            target->cbFormat = 0;
            result = source->pbFormat == nullptr ? E_POINTER : E_OUTOFMEMORY;
        } else {
            std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
        }
    }
    if (target->pUnk != nullptr) {
        target->pUnk->AddRef(); // the copy's own reference
    }
    return result;
}

void ReleaseContents(AM_MEDIA_TYPE* type) {
    if (type->cbFormat != 0) {
        CoTaskMemFree(type->pbFormat);
        type->cbFormat = 0;
        type->pbFormat = nullptr;
    }
    if (type->pUnk != nullptr) {
        type->pUnk->Release(); // -1: the record's reference
        type->pUnk = nullptr;
    }
}

void FreeTaskMediaType(AM_MEDIA_TYPE* type) {
    if (type == nullptr) {
        return;
    }
    ReleaseContents(type);
    CoTaskMemFree(type);
}

HRESULT MakeTaskString(const WCHAR* text, LPWSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    if (text == nullptr) {
        text = L"";
    }
    const size_t bytes = (static_cast<size_t>(lstrlenW(text)) + 1) * sizeof(WCHAR);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*out, text, bytes);
    return S_OK;
}
