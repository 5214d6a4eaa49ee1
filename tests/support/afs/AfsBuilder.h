// Builds AFS archives for tests: well-formed ones by default, and malformed
// ones (wrong magic, stored numbers that disagree with the layout, names
// without their zero byte, cut-short files) through Options and the
// per-member overrides.
//
// Layout written: magic, count, entry table, zero pairs, list locator, then
// the member data, then the name list (one 48-byte record per member, the
// name cut to 47 bytes and zero-padded); data and name list start on
// multiples of Options::alignmentBytes. Build() is for members held in
// memory; a file member that cannot be read ends it early.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace afstest {

class AfsBuilder {
public:
    static constexpr uint32_t kNameRecordBytes = 48;

    struct Options {
        uint32_t alignmentBytes = 2048;
        uint32_t zeroPairs = 0;
        // The first member's data starts exactly where the locator ends
        // (by default at least one padding byte lies between them).
        bool dataRightAfterLocator = false;
        // The name list follows the locator instead of the last member, so
        // that an archive cut short inside member data still has its names.
        bool listBeforeData = false;
        std::array<uint8_t, 4> magic = {0x41, 0x46, 0x53, 0x00};
        // Stored values that replace the ones the layout gives.
        std::optional<uint32_t> storedCount;
        std::optional<uint32_t> storedListOffset;
        std::optional<uint32_t> storedListBytes;
        // The archive ends after this many bytes.
        std::optional<uint64_t> truncateBytes;
    };

    // Receives the archive's bytes in order; false stops the build.
    using Sink = std::function<bool(const uint8_t* bytes, size_t byteCount)>;

    AfsBuilder();
    explicit AfsBuilder(Options options);

    void AddMember(std::string name, std::vector<uint8_t> data);
    // The data is read from the file at build time.
    void AddFileMember(std::string name, std::string path, uint64_t sizeBytes);
    // Pseudo-random data made at build time (GeneratedBytes gives the same).
    void AddGeneratedMember(std::string name, uint64_t sizeBytes, uint64_t seed);

    // Stored entry of a member, replacing its real offset and size.
    void SetEntry(size_t memberIndex, uint32_t storedOffset, uint32_t storedBytes);
    // Raw bytes of a member's name record (at most 48, zero-padded), written
    // instead of its name: without a zero byte the name has no terminator.
    void SetNameRecord(size_t memberIndex, std::vector<uint8_t> recordBytes);

    size_t MemberCount() const { return members_.size(); }
    uint64_t MemberOffset(size_t memberIndex) const;
    uint64_t ListOffset() const;
    uint64_t ArchiveBytes() const; // before truncation

    std::vector<uint8_t> Build() const;
    // Streams the archive to a file; on failure returns false and says why.
    bool WriteFile(const std::string& path, std::string& error) const;
    bool WriteTo(const Sink& sink, std::string& error) const;

    static std::vector<uint8_t> GeneratedBytes(uint64_t sizeBytes, uint64_t seed);

private:
    struct Member {
        std::string name;
        std::vector<uint8_t> data;
        std::string path;
        uint64_t sizeBytes = 0;
        std::optional<uint64_t> generatorSeed;
        std::optional<std::pair<uint32_t, uint32_t>> storedEntry;
        std::optional<std::vector<uint8_t>> nameRecord;
    };

    uint64_t LocatorEndBytes() const;
    uint64_t FirstDataOffset() const;
    uint64_t AlignUp(uint64_t value) const;
    bool WriteMemberData(const Member& member, const Sink& sink, std::string& error) const;

    Options options_;
    std::vector<Member> members_;
};

} // namespace afstest
