// An open file as the byte source of the AFS archive reader.
#pragma once

#include "files/FileHandle.h"

#include "afs/AfsByteSource.h"

class FileByteSource final : public afs::AfsByteSource {
public:
    explicit FileByteSource(const FileHandle& file) : file_(file) {}

    size_t ReadAt(uint64_t positionBytes, uint8_t* destination, size_t byteCount) override;
    bool SizeBytes(uint64_t& sizeBytes) override;

private:
    const FileHandle& file_;
};
