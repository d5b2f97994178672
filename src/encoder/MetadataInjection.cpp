#include "encoder/MetadataInjection.h"

#include <sys/stat.h>

#include <filesystem>
#include <vector>

#include "encoder/FlvFileSummary.h"
#include "encoder/FlvLayout.h"
#include "encoder/OnMetaData.h"
#include "platform/os/TemporaryFile.h"

namespace quorvane {

using platform::TFile;
using platform::TFileIdentity;
using platform::TFileStatus;
using platform::TTemporaryFile;

namespace {

constexpr size_t CopyBufferSize = 1024 * 1024;

[[noreturn]] void Fail(const std::string& What, const std::error_code& Error) {
    throw EMetadataFailure(What + " (" + Error.message() + ")");
}

void Check(const std::string& What, const std::error_code& Error) {
    if (Error) {
        Fail(What, Error);
    }
}

void WriteAll(TTemporaryFile& Target, const uint8_t* Data, size_t Size) {
    Check("the new file cannot be written", Target.Write(Data, Size));
}

// Copies Source from Offset to its end; returns the bytes copied.
uint64_t CopyFrom(const TFile& Source, uint64_t Offset, TTemporaryFile& Target) {
    const uint64_t Start = Offset;
    std::vector<uint8_t> Buffer(CopyBufferSize);
    for (size_t Read = Buffer.size(); Read == Buffer.size(); Offset += Read) {
        Check("the file cannot be read", Source.ReadAt(Offset, Buffer.data(), Buffer.size(), Read));
        WriteAll(Target, Buffer.data(), Read);
    }
    return Offset - Start;
}

// The file a name stands for: the target of a symbolic link is rewritten,
// and the link kept.
std::filesystem::path RealFile(const std::string& FileName) {
    std::error_code Error;
    std::filesystem::path Real = std::filesystem::canonical(FileName, Error);
    if (Error) {
        throw EMetadataFailure("the file cannot be found (" + Error.message() + ")");
    }
    return Real;
}

// A file put in the written one's place is another's: it gets no tag.
void CheckStillWritten(const TFileIdentity& Identity, const TFileIdentity& Written) {
    if (Identity != Written) {
        throw EMetadataFailure("it is no longer the file that was written (another took its name)");
    }
}

// Renaming over a device or a pipe would replace it with a file.
TFile OpenSource(const std::filesystem::path& Target, const TFileIdentity& Written,
                 TFileStatus& Status) {
    std::error_code Error;
    TFile Source = TFile::OpenRegularFile(Target.string(), Error);
    if (Error == std::errc::not_supported) {
        throw EMetadataFailure("it is not a regular file");
    }
    Check("the file cannot be opened", Error);
    Check("the file cannot be read", Source.Status(Status));
    CheckStillWritten(Status.Identity, Written);
    return Source;
}

// The written copy takes the file's owner, group and permissions; after
// its data, which would clear set-ID bits set before. Where the owner
// cannot be kept (only root may give a file away) the copy is the
// writer's, and a set-user-ID bit would lend the writer's rights: it goes,
// and so does set-group-ID where the group cannot be kept either.
void TakeOwnerAndMode(TFile& Copy, const TFileStatus& Original) {
    mode_t Mode = Original.Mode;
    if (Copy.SetOwner(Original.Owner, Original.Group)) {
        Mode &= ~mode_t{S_ISUID};
        if (Copy.SetOwner(static_cast<uid_t>(-1), Original.Group)) {
            Mode &= ~mode_t{S_ISGID};
        }
    }
    Check("the new file cannot take the file's permissions", Copy.SetMode(Mode));
}

// The data is made durable before it takes the target's place, which must
// still be the file read.
void ReplaceWith(TTemporaryFile& NewFile, const std::filesystem::path& Target,
                 const TFileStatus& Original) {
    TakeOwnerAndMode(NewFile.File(), Original);
    const std::error_code Synced = NewFile.File().Sync();
    const std::error_code Closed = NewFile.Close();
    Check("the new file cannot be written", Closed ? Closed : Synced);
    TFileStatus Now;
    Check("the file cannot be found", platform::StatusOfName(Target.string(), Now));
    CheckStillWritten(Now.Identity, Original.Identity);
    Check("the new file cannot replace it", NewFile.RenameOver(Target));
}

uint64_t Rewrite(const std::filesystem::path& Target, const TWrittenFile& Written) {
    TFileStatus Status;
    const TFile Source = OpenSource(Target, Written.Identity, Status);
    const TFlvFileSummary Summary = SummarizeFlvFile(Source);
    if (Summary.Video.Tags + Summary.Audio.Tags == 0) {
        return Summary.FileSize;
    }
    const std::vector<uint8_t> Tag = BuildOnMetaDataTag(Summary, Written.VideoEndTime);

    // The new file under a temporary name beside the file it is to replace.
    std::error_code Error;
    TTemporaryFile NewFile(MetadataCopyBaseFor(Target.string()), Error);
    Check("a temporary file cannot be created beside it", Error);
    // Those who may not read the file may not read the copy while it is made.
    Check("the new file cannot take the file's permissions",
          NewFile.File().SetMode(Status.Mode & 0777));
    uint8_t Header[flv::FileHeaderSize];
    size_t Read = 0;
    Error = Source.ReadAt(0, Header, sizeof Header, Read);
    if (!Error && Read < sizeof Header) {
        Error = std::make_error_code(std::errc::io_error);
    }
    Check("the file cannot be read", Error);
    WriteAll(NewFile, Header, sizeof Header);
    WriteAll(NewFile, Tag.data(), Tag.size());
    const uint64_t Copied = CopyFrom(Source, flv::FileHeaderSize, NewFile);
    // The index describes the file as it was read first.
    if (Copied != Summary.FileSize - flv::FileHeaderSize) {
        throw EMetadataFailure("the file changed while it was rewritten");
    }
    ReplaceWith(NewFile, Target, Status);
    return Summary.FileSize + Tag.size();
}

}  // namespace

std::string MetadataCopyBaseFor(const std::string& FileName) {
    return FileName + ".metadata";
}

uint64_t AddOnMetaData(const std::string& FileName, const TWrittenFile& Written) {
    try {
        return Rewrite(RealFile(FileName), Written);
    } catch (const EFlvFileUnreadable& Unreadable) {
        throw EMetadataFailure(Unreadable.what());
    } catch (const std::length_error& TooLong) {
        throw EMetadataFailure(TooLong.what());
    }
}

}  // namespace quorvane
