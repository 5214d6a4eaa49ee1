#include "ArchiveMessages.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

using Kind = ArchiveMessages::Kind;
using Status = afs::AfsArchive::Status;

struct Texts {
    Kind kind;
    const char* classic; // written as it stands, with a newline
    const char* options; // after "skerrin: "
};

// {archive}, {name}, {index}, {reason}, {file} and {path} stand for the
// fields of the message.
constexpr Texts kTexts[] = {
    {Kind::kNameWithoutZero,
     "{archive}: name of file {index} has no terminating zero byte, not written.",
     "{archive}: name of member {index} has no terminating zero byte, not written"},
    {Kind::kNameUnusable, "{archive}: name \"{name}\" of file {index} {reason}, not written.",
     "{archive}: name \"{name}\" of member {index} {reason}, not written"},
    {Kind::kNameKeptApart,
     "{archive}: name \"{name}\" of file {index} was written already by this run, kept as "
     "\"{file}\".",
     "{archive}: name \"{name}\" of member {index} was written already by this run, kept as "
     "{path}"},
    {Kind::kCannotCreate, "file open failed.: {name}: {reason}", "{path}: {reason}"},
    {Kind::kCutShort, "read error.: {name}: {reason}", "{archive}: {name}: {reason}"},
    {Kind::kWriteFailed, "write error: {name}: {reason}", "{path}: {reason}"},
};

std::string Expand(const char* text, const std::string& archive, const ArchiveMessages::Fields& f) {
    const std::pair<const char*, std::string> values[] = {
        {"{archive}", archive}, {"{name}", f.name}, {"{index}", std::to_string(f.index)},
        {"{reason}", f.reason}, {"{file}", f.file}, {"{path}", f.path},
    };
    std::string result;
    for (const char* c = text; *c != '\0';) {
        bool replaced = false;
        for (const auto& [placeholder, value] : values) {
            const size_t length = std::strlen(placeholder);
            if (std::strncmp(c, placeholder, length) == 0) {
                result += value;
                c += length;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            result += *c++;
        }
    }
    return result;
}

} // namespace

void ArchiveMessages::Say(Kind kind, const Fields& fields) const {
    for (const Texts& texts : kTexts) {
        if (texts.kind != kind) {
            continue;
        }
        if (voice_ == Voice::kClassic) {
            reporter_.Raw(Expand(texts.classic, archivePath_, fields) + "\n");
        } else {
            reporter_.Message(Expand(texts.options, archivePath_, fields));
        }
        return;
    }
}

void ArchiveMessages::ArchiveRefused(Status status, const afs::AfsArchive& archive,
                                     const std::string& hint) const {
    if (voice_ == Voice::kClassic) {
        ClassicRefusal(status, archive);
    } else {
        reporter_.Problem(archivePath_, afs::AfsArchive::StatusText(status) + hint);
    }
}

// The classic texts, in the order of the steps that print them.
void ArchiveMessages::ClassicRefusal(Status status, const afs::AfsArchive& archive) const {
    const std::string& path = archivePath_;
    switch (status) {
    case Status::kOk:
        break;
    case Status::kHeaderShort:
        reporter_.Raw("read header failed.\n");
        break;
    case Status::kNotAfs:
        reporter_.Raw(path + " is not ASF file.\n");
        break;
    case Status::kCountUnreadable:
        reporter_.Raw("read file number failed.\n");
        break;
    case Status::kNoMembers:
        reporter_.Raw(path + ": archive holds no files.\n");
        break;
    case Status::kCountOutOfRange:
        reporter_.Raw(path + ": file number " +
                      std::to_string(static_cast<int32_t>(archive.MemberCount())) +
                      " out of range.\n");
        break;
    case Status::kTableAllocationFailed:
        errno = ENOMEM;
        std::perror("malloc failed at reading file offset table.");
        break;
    case Status::kTableShort:
        reporter_.Raw("read offset table failed.\n");
        break;
    case Status::kLocatorUnreadable:
        reporter_.Raw("read list offset or size failed.\n");
        break;
    case Status::kLocatorNotBeforeData:
        reporter_.Raw("can't find read list offset or size.\n");
        break;
    case Status::kListTooShort:
        reporter_.Raw(path + ": name list of " + std::to_string(archive.ListSizeBytes()) +
                      " bytes too short for " + std::to_string(archive.MemberCount()) +
                      " files.\n");
        break;
    case Status::kListAllocationFailed:
        errno = ENOMEM;
        std::perror("malloc failed at reading file list.");
        break;
    case Status::kListUnreadable:
        reporter_.Raw("read file list failed.\n");
        break;
    }
}
