// What skerrin says on standard error about an archive and its members, in
// one of two voices: the classic texts of the plain `skerrin ARCHIVE`, or
// "skerrin: FILE: reason" in the option modes. This is the one place that
// chooses between them.
#pragma once

#include "afs/AfsArchive.h"

#include "Reporter.h"

#include <cstdint>
#include <string>

class ArchiveMessages {
public:
    enum class Voice { kClassic, kOptions };

    enum class Kind {
        kNameWithoutZero, // index
        kNameUnusable,    // name, index, reason
        kNameKeptApart,   // name, index, file (the name given), path
        kCannotCreate,    // name, path, reason
        kCutShort,        // name, reason
        kWriteFailed,     // name, path, reason
    };

    // What a message may name; the archive path comes from the constructor.
    struct Fields {
        std::string name; // the member's name as shown
        uint32_t index = 0;
        std::string reason;
        std::string file; // the file name a member was written under
        std::string path; // the path of that file
    };

    ArchiveMessages(const Reporter& reporter, std::string archivePath, Voice voice)
        : reporter_(reporter), archivePath_(std::move(archivePath)), voice_(voice) {}

    const Reporter& GetReporter() const { return reporter_; }
    const std::string& ArchivePath() const { return archivePath_; }

    void Say(Kind kind, const Fields& fields) const;
    // Why the archive's directory could not be read (`status` is not kOk);
    // `hint` follows the option voice's reason.
    void ArchiveRefused(afs::AfsArchive::Status status, const afs::AfsArchive& archive,
                        const std::string& hint) const;

private:
    void ClassicRefusal(afs::AfsArchive::Status status, const afs::AfsArchive& archive) const;

    const Reporter& reporter_;
    std::string archivePath_;
    Voice voice_;
};
