// One open file, by its descriptor: closed when the object goes, read and
// written whole through short transfers and interruptions by signals. Every
// reader and writer of the program's files goes through it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>

namespace quorvane::platform {

// Which file a name or a descriptor stands for: the same file, and only it,
// has the same identity while it exists.
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool operator==(const TFileIdentity&) const = default;
};

struct TFileStatus {
    TFileIdentity Identity;
    uid_t Owner = 0;
    gid_t Group = 0;
    mode_t Mode = 0;  // the permission bits (07777)
    bool Regular = false;
};

// What Name stands for now; of a symbolic link itself when FollowLink is
// false.
std::error_code StatusOfName(const std::string& Name, TFileStatus& Status, bool FollowLink = true);

class TFile {
public:
    TFile() = default;
    // Takes Descriptor over; it is closed with the object.
    explicit TFile(int Descriptor) : Handle(Descriptor) {}
    ~TFile();
    TFile(TFile&& Other) noexcept;
    TFile& operator=(TFile&& Other) noexcept;
    TFile(const TFile&) = delete;
    TFile& operator=(const TFile&) = delete;

    // open(2) of Name with Flags and O_CLOEXEC. Not open afterwards, with
    // Error set, when that fails.
    static TFile Open(const std::string& Name, int Flags, std::error_code& Error,
                      mode_t Mode = 0666);
    // A regular file for reading; anything else (a folder, a device, a
    // FIFO, which is never waited for) is refused with std::errc::not_supported.
    static TFile OpenRegularFile(const std::string& Name, std::error_code& Error);

    bool IsOpen() const { return Handle >= 0; }
    int Descriptor() const { return Handle; }
    // The error close(2) reports; nothing when the file was not open.
    std::error_code Close();

    // Writes all Size bytes at the file's position, offering the rest again
    // after a short write, until the system says why it stops; a write that
    // takes nothing counts as an I/O error. The bytes that reached the file
    // are added to *Written (when given), also when it fails.
    std::error_code WriteAll(const void* Data, size_t Size, uint64_t* Written = nullptr);
    // Reads Size bytes at Offset, fewer only where the file ends; Read
    // receives how many.
    std::error_code ReadAt(uint64_t Offset, void* Data, size_t Size, size_t& Read) const;
    // The file's size in bytes.
    std::error_code Size(uint64_t& Bytes) const;
    std::error_code Truncate(uint64_t Bytes);
    // Has the data reach the disk (fsync).
    std::error_code Sync();
    std::error_code Status(TFileStatus& Status) const;
    std::error_code SetMode(mode_t Bits);
    std::error_code SetOwner(uid_t Owner, gid_t Group);

private:
    int Handle = -1;
};

// The error of the last failed system call, as the C library left it.
std::error_code LastSystemError();

}  // namespace quorvane::platform
