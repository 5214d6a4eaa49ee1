// The archive reader's bytes from an open archive file. It moves the
// file's position: callers seek before they read member data.
#pragma once

#include "afs/AfsByteSource.h"
#include "StdioFile.h"

class FileSource final : public afs::AfsByteSource {
public:
    explicit FileSource(StdioFile& file) : file_(file) {}

    size_t ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) override;
    bool SizeBytes(uint64_t& sizeBytes) override { return file_.SizeBytes(sizeBytes); }

private:
    StdioFile& file_;
};
