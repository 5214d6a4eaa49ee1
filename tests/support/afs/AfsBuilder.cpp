#include "AfsBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace afstest {

namespace {

constexpr size_t kChunkBytes = 1 << 20;

void AppendUint32Le(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// xorshift64*: fast, and the same stream wherever it is made.
class ByteGenerator {
public:
    explicit ByteGenerator(uint64_t seed) : state_(seed | 1) {}
    void Fill(uint8_t* bytes, size_t byteCount) {
        for (size_t i = 0; i < byteCount; i += 8) {
            state_ ^= state_ >> 12;
            state_ ^= state_ << 25;
            state_ ^= state_ >> 27;
            uint64_t word = state_ * 0x2545F4914F6CDD1DULL;
            for (size_t j = 0; j < 8 && i + j < byteCount; ++j) {
                bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
            }
        }
    }

private:
    uint64_t state_;
};

bool WriteZeros(const AfsBuilder::Sink& sink, uint64_t byteCount) {
    static const uint8_t kZeros[4096] = {};
    while (byteCount > 0) {
        size_t length = static_cast<size_t>(std::min<uint64_t>(byteCount, sizeof kZeros));
        if (!sink(kZeros, length)) {
            return false;
        }
        byteCount -= length;
    }
    return true;
}

} // namespace

AfsBuilder::AfsBuilder() : AfsBuilder(Options{}) {}

AfsBuilder::AfsBuilder(Options options) : options_(options) {
    if (options_.alignmentBytes == 0) {
        options_.alignmentBytes = 1;
    }
}

void AfsBuilder::AddMember(std::string name, std::vector<uint8_t> data) {
    Member member;
    member.name = std::move(name);
    member.sizeBytes = data.size();
    member.data = std::move(data);
    members_.push_back(std::move(member));
}

void AfsBuilder::AddFileMember(std::string name, std::string path, uint64_t sizeBytes) {
    Member member;
    member.name = std::move(name);
    member.path = std::move(path);
    member.sizeBytes = sizeBytes;
    members_.push_back(std::move(member));
}

void AfsBuilder::AddGeneratedMember(std::string name, uint64_t sizeBytes, uint64_t seed) {
    Member member;
    member.name = std::move(name);
    member.sizeBytes = sizeBytes;
    member.generatorSeed = seed;
    members_.push_back(std::move(member));
}

void AfsBuilder::SetEntry(size_t memberIndex, uint32_t storedOffset, uint32_t storedBytes) {
    members_.at(memberIndex).storedEntry = std::make_pair(storedOffset, storedBytes);
}

void AfsBuilder::SetNameRecord(size_t memberIndex, std::vector<uint8_t> recordBytes) {
    recordBytes.resize(kNameRecordBytes, 0);
    members_.at(memberIndex).nameRecord = std::move(recordBytes);
}

uint64_t AfsBuilder::AlignUp(uint64_t value) const {
    uint64_t alignment = options_.alignmentBytes;
    return (value + alignment - 1) / alignment * alignment;
}

uint64_t AfsBuilder::LocatorEndBytes() const {
    return 8 + 8 * static_cast<uint64_t>(members_.size()) + 8 * uint64_t{options_.zeroPairs} + 8;
}

uint64_t AfsBuilder::FirstDataOffset() const {
    uint64_t endBytes = LocatorEndBytes();
    if (options_.listBeforeData) {
        endBytes += kNameRecordBytes * static_cast<uint64_t>(members_.size());
    }
    if (options_.dataRightAfterLocator) {
        return endBytes;
    }
    return AlignUp(endBytes + 1);
}

uint64_t AfsBuilder::MemberOffset(size_t memberIndex) const {
    uint64_t offset = FirstDataOffset();
    for (size_t i = 0; i < memberIndex; ++i) {
        offset = AlignUp(offset + members_[i].sizeBytes);
    }
    return offset;
}

uint64_t AfsBuilder::ListOffset() const {
    return options_.listBeforeData ? LocatorEndBytes() : MemberOffset(members_.size());
}

uint64_t AfsBuilder::ArchiveBytes() const {
    if (options_.listBeforeData) {
        return members_.empty() ? FirstDataOffset()
                                : MemberOffset(members_.size() - 1) + members_.back().sizeBytes;
    }
    return ListOffset() + kNameRecordBytes * static_cast<uint64_t>(members_.size());
}

std::vector<uint8_t> AfsBuilder::GeneratedBytes(uint64_t sizeBytes, uint64_t seed) {
    std::vector<uint8_t> bytes(static_cast<size_t>(sizeBytes));
    ByteGenerator(seed).Fill(bytes.data(), bytes.size());
    return bytes;
}

bool AfsBuilder::WriteMemberData(const Member& member, const Sink& sink, std::string& error) const {
    if (member.generatorSeed) {
        // Whole 8-byte words per chunk keep the stream the same as GeneratedBytes.
        ByteGenerator generator(*member.generatorSeed);
        std::vector<uint8_t> chunk(kChunkBytes);
        for (uint64_t remaining = member.sizeBytes; remaining > 0;) {
            size_t length = static_cast<size_t>(std::min<uint64_t>(remaining, kChunkBytes));
            generator.Fill(chunk.data(), length);
            if (!sink(chunk.data(), length)) {
                return false;
            }
            remaining -= length;
        }
        return true;
    }
    if (member.path.empty()) {
        return member.data.empty() || sink(member.data.data(), member.data.size());
    }
    std::unique_ptr<FILE, int (*)(FILE*)> source(std::fopen(member.path.c_str(), "rb"),
                                                 &std::fclose);
    if (!source) {
        error = member.path + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> chunk(kChunkBytes);
    for (uint64_t remaining = member.sizeBytes; remaining > 0;) {
        size_t length = static_cast<size_t>(std::min<uint64_t>(remaining, kChunkBytes));
        if (std::fread(chunk.data(), 1, length, source.get()) != length) {
            error = member.path + ": shorter than " + std::to_string(member.sizeBytes) + " bytes";
            return false;
        }
        if (!sink(chunk.data(), length)) {
            return false;
        }
        remaining -= length;
    }
    return true;
}

bool AfsBuilder::WriteTo(const Sink& sink, std::string& error) const {
    if (ArchiveBytes() > UINT32_MAX) {
        error = "archive larger than 4 GiB: its offsets do not fit";
        return false;
    }
    // Drops everything past the truncation point but lets the build finish.
    uint64_t writtenBytes = 0;
    const uint64_t limitBytes = options_.truncateBytes.value_or(UINT64_MAX);
    Sink limited = [&](const uint8_t* bytes, size_t byteCount) {
        uint64_t room = limitBytes - std::min(limitBytes, writtenBytes);
        size_t keep = static_cast<size_t>(std::min<uint64_t>(room, byteCount));
        writtenBytes += byteCount;
        if (keep > 0 && !sink(bytes, keep)) {
            error = "write failed";
            return false;
        }
        return true;
    };

    std::vector<uint8_t> front(options_.magic.begin(), options_.magic.end());
    AppendUint32Le(front, options_.storedCount.value_or(static_cast<uint32_t>(members_.size())));
    for (size_t i = 0; i < members_.size(); ++i) {
        const Member& member = members_[i];
        if (member.storedEntry) {
            AppendUint32Le(front, member.storedEntry->first);
            AppendUint32Le(front, member.storedEntry->second);
        } else {
            AppendUint32Le(front, static_cast<uint32_t>(MemberOffset(i)));
            AppendUint32Le(front, static_cast<uint32_t>(member.sizeBytes));
        }
    }
    front.resize(front.size() + 8 * size_t{options_.zeroPairs}, 0);
    AppendUint32Le(front, options_.storedListOffset.value_or(static_cast<uint32_t>(ListOffset())));
    AppendUint32Le(front, options_.storedListBytes.value_or(
                              static_cast<uint32_t>(kNameRecordBytes * members_.size())));
    std::vector<uint8_t> list;
    for (const Member& member : members_) {
        std::vector<uint8_t> record(kNameRecordBytes, 0);
        if (member.nameRecord) {
            record = *member.nameRecord;
        } else {
            std::copy_n(member.name.begin(),
                        std::min<size_t>(member.name.size(), kNameRecordBytes - 1), record.begin());
        }
        list.insert(list.end(), record.begin(), record.end());
    }
    if (options_.listBeforeData) {
        front.insert(front.end(), list.begin(), list.end());
    }
    if (!limited(front.data(), front.size())) {
        return false;
    }

    uint64_t positionBytes = front.size();
    for (size_t i = 0; i < members_.size(); ++i) {
        uint64_t offset = MemberOffset(i);
        if (!WriteZeros(limited, offset - positionBytes) ||
            !WriteMemberData(members_[i], limited, error)) {
            return false;
        }
        positionBytes = offset + members_[i].sizeBytes;
    }
    if (options_.listBeforeData || list.empty()) {
        return true;
    }
    return WriteZeros(limited, ListOffset() - positionBytes) && limited(list.data(), list.size());
}

std::vector<uint8_t> AfsBuilder::Build() const {
    std::vector<uint8_t> archive;
    std::string error;
    WriteTo(
        [&](const uint8_t* bytes, size_t byteCount) {
            archive.insert(archive.end(), bytes, bytes + byteCount);
            return true;
        },
        error);
    return archive;
}

bool AfsBuilder::WriteFile(const std::string& path, std::string& error) const {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    bool written = WriteTo(
        [&](const uint8_t* bytes, size_t byteCount) {
            return std::fwrite(bytes, 1, byteCount, file) == byteCount;
        },
        error);
    if (std::fclose(file) != 0 && written) {
        error = path + ": " + std::strerror(errno);
        written = false;
    }
    if (!written && error == "write failed") {
        error = path + ": write failed";
    }
    return written;
}

} // namespace afstest
