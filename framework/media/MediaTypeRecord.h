// An owned AM_MEDIA_TYPE. The format block lives in task memory and is owned
// exactly when cbFormat is not 0; a non-null pUnk is a counted reference.
#pragma once

#include <windows.h>
#include <strmif.h>

class MediaTypeRecord : public AM_MEDIA_TYPE {
public:
    MediaTypeRecord() { Reset(); }
    ~MediaTypeRecord();
    // Copies can fail for want of memory; use Assign, which says so.
    MediaTypeRecord(const MediaTypeRecord&) = delete;
    MediaTypeRecord& operator=(const MediaTypeRecord&) = delete;

    // Empty type: GUID_NULL everywhere, no block, no pUnk; fixed samples of
    // size 1. Does not free anything: call ReleaseContents first if needed.
    void Reset();
    void SetMajorType(const GUID& type) { majortype = type; }
    void SetSubtype(const GUID& type) { subtype = type; }
    void SetFormatType(const GUID& type) { formattype = type; }
    // 0 marks variable-size samples and keeps lSampleSize.
    void SetSampleSize(ULONG sampleSizeBytes);
    // A format block of exactly `sizeBytes` (content undefined when new), or
    // null. On allocation failure the old block stays and is returned when it
    // is large enough.
    BYTE* ReserveFormat(ULONG sizeBytes);
    // Copies `sizeBytes` bytes into a block of that size; FALSE when no block.
    BOOL SetFormat(const BYTE* bytes, ULONG sizeBytes);
    // Deep copy of `other` (a no-op for this record itself); E_OUTOFMEMORY
    // when the format block could not be copied (the copy then has none).
    HRESULT Assign(const AM_MEDIA_TYPE& other);
    // Major, sub and format types, and the format block; sample size,
    // temporal compression and pUnk are not compared.
    bool Equals(const AM_MEDIA_TYPE& other) const;
    // No major type or no format type.
    bool IsPartial() const;
    // GUID_NULL in the pattern's major, sub or format type matches anything;
    // a named format type must match with an equal block.
    bool MatchesPattern(const AM_MEDIA_TYPE& pattern) const;
    // Moves the contents into `target` (its old contents are overwritten, not
    // released) and leaves this record Reset.
    void MoveTo(AM_MEDIA_TYPE* target);

    bool operator==(const AM_MEDIA_TYPE& other) const { return Equals(other); }
    bool operator!=(const AM_MEDIA_TYPE& other) const { return !Equals(other); }
};

// Copies every field of `source` into `target`, the format block into new
// task memory, and takes a reference on pUnk. Overwrites `target` without
// releasing it. E_OUTOFMEMORY (target without a block) when the block could
// not be allocated.
HRESULT DeepCopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
// Frees the format block and releases pUnk; the structure itself stays.
void ReleaseContents(AM_MEDIA_TYPE* type);
// Frees a task-memory AM_MEDIA_TYPE handed out by an enumerator, with its
// contents. Null does nothing.
void FreeTaskMediaType(AM_MEDIA_TYPE* type);
// A task-memory copy of `text` (null copies as an empty string); the caller
// frees it with CoTaskMemFree.
HRESULT MakeTaskString(const WCHAR* text, LPWSTR* out);
