// afsbuild: packs files into an AFS archive, optionally malformed for tests.
#include "AfsBuilder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: afsbuild [OPTION]... OUT.afs MEMBER...\n"
    "Packs the members, in the order given, into the AFS archive OUT.afs.\n"
    "MEMBER is one of\n"
    "  PATH                 the file PATH, stored under its base name\n"
    "  NAME=PATH            the file PATH, stored as NAME (NAME may be empty)\n"
    "  NAME=@random:BYTES   BYTES pseudo-random bytes, stored as NAME\n"
    "Names longer than 47 bytes are cut to 47.\n"
    "Options, mostly for malformed archives in tests (numbers: decimal or 0x hex):\n"
    "  --align BYTES          alignment of member data and name list (default 2048)\n"
    "  --zero-pairs K         K zero pairs between the entry table and the list locator\n"
    "  --data-after-locator   the first member's data starts where the locator ends\n"
    "                         (or, with --list-first, where the name list ends)\n"
    "  --list-first           the name list follows the locator, before the data\n"
    "  --magic HEX8           the four magic bytes, e.g. 41465301\n"
    "  --count N              stored file count\n"
    "  --list-offset N        stored name-list offset\n"
    "  --list-size N          stored name-list size\n"
    "  --entry I:OFFSET:SIZE  stored offset and size of member I (from 0)\n"
    "  --name-record I:HEX    raw bytes (up to 48) of member I's name record, no zero added\n"
    "  --truncate BYTES       cut the archive after BYTES bytes\n"
    "  --help                 this text\n"
    "Exit status: 0 when the archive was written, 1 otherwise.\n";

bool ParseNumber(const std::string& text, uint64_t& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && *end == '\0' && text[0] != '-';
}

bool ParseUint32(const std::string& text, uint32_t& value) {
    uint64_t wide = 0;
    if (!ParseNumber(text, wide) || wide > UINT32_MAX) {
        return false;
    }
    value = static_cast<uint32_t>(wide);
    return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2 != 0) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        std::string pair = text.substr(i, 2);
        long value = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0' || pair[0] == '-' || pair[0] == '+' || pair[0] == ' ') {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(value));
    }
    return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
        parts.push_back(text.substr(start, at - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileBytes(const std::string& path, uint64_t& sizeBytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    sizeBytes = 0;
    char chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        sizeBytes += got;
    }
    bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

struct MemberOverrides {
    std::vector<std::pair<size_t, std::pair<uint32_t, uint32_t>>> entries;
    std::vector<std::pair<size_t, std::vector<uint8_t>>> nameRecords;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "afsbuild: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    afstest::AfsBuilder::Options options;
    MemberOverrides overrides;
    int argi = 1;
    for (; argi < argc && std::strncmp(argv[argi], "--", 2) == 0; ++argi) {
        std::string option = argv[argi];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--data-after-locator") {
            options.dataRightAfterLocator = true;
            continue;
        }
        if (option == "--list-first") {
            options.listBeforeData = true;
            continue;
        }
        if (argi + 1 >= argc) {
            return Fail(option + " needs a value (see --help)");
        }
        std::string value = argv[++argi];
        uint32_t number = 0;
        uint64_t wide = 0;
        std::vector<std::string> parts = Split(value, ':');
        std::vector<uint8_t> bytes;
        if (option == "--align" && ParseUint32(value, number) && number > 0) {
            options.alignmentBytes = number;
        } else if (option == "--zero-pairs" && ParseUint32(value, number)) {
            options.zeroPairs = number;
        } else if (option == "--magic" && ParseHex(value, bytes) && bytes.size() == 4) {
            std::copy(bytes.begin(), bytes.end(), options.magic.begin());
        } else if (option == "--count" && ParseUint32(value, number)) {
            options.storedCount = number;
        } else if (option == "--list-offset" && ParseUint32(value, number)) {
            options.storedListOffset = number;
        } else if (option == "--list-size" && ParseUint32(value, number)) {
            options.storedListBytes = number;
        } else if (option == "--truncate" && ParseNumber(value, wide)) {
            options.truncateBytes = wide;
        } else if (option == "--entry" && parts.size() == 3 && ParseNumber(parts[0], wide)) {
            uint32_t offset = 0;
            uint32_t size = 0;
            if (!ParseUint32(parts[1], offset) || !ParseUint32(parts[2], size)) {
                return Fail("bad value for --entry: " + value);
            }
            overrides.entries.push_back({static_cast<size_t>(wide), {offset, size}});
        } else if (option == "--name-record" && parts.size() == 2 && ParseNumber(parts[0], wide) &&
                   ParseHex(parts[1], bytes) &&
                   bytes.size() <= afstest::AfsBuilder::kNameRecordBytes) {
            overrides.nameRecords.push_back({static_cast<size_t>(wide), bytes});
        } else {
            std::string message = "bad option or value: ";
            message += option;
            message += " ";
            message += value;
            message += " (see --help)";
            return Fail(message);
        }
    }
    if (argc - argi < 1) {
        std::fputs(kUsage, stderr);
        return 1;
    }
    const std::string outPath = argv[argi++];

    afstest::AfsBuilder builder(options);
    for (; argi < argc; ++argi) {
        std::string member = argv[argi];
        size_t equals = member.find('=');
        std::string name =
            equals == std::string::npos ? BaseName(member) : member.substr(0, equals);
        std::string source = equals == std::string::npos ? member : member.substr(equals + 1);
        const std::string randomPrefix = "@random:";
        uint64_t sizeBytes = 0;
        if (source.compare(0, randomPrefix.size(), randomPrefix) == 0) {
            if (!ParseNumber(source.substr(randomPrefix.size()), sizeBytes)) {
                return Fail("bad size in " + member);
            }
            builder.AddGeneratedMember(name, sizeBytes, builder.MemberCount() + 1);
        } else {
            if (!FileBytes(source, sizeBytes)) {
                return Fail(source + ": " + std::strerror(errno));
            }
            builder.AddFileMember(name, source, sizeBytes);
        }
    }
    for (const auto& entry : overrides.entries) {
        if (entry.first >= builder.MemberCount()) {
            return Fail("--entry names member " + std::to_string(entry.first) + ", not given");
        }
        builder.SetEntry(entry.first, entry.second.first, entry.second.second);
    }
    for (const auto& record : overrides.nameRecords) {
        if (record.first >= builder.MemberCount()) {
            return Fail("--name-record names member " + std::to_string(record.first) +
                        ", not given");
        }
        builder.SetNameRecord(record.first, record.second);
    }

    std::string error;
    if (!builder.WriteFile(outPath, error)) {
        return Fail(error);
    }
    return 0;
}
