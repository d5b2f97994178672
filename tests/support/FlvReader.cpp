#include "support/FlvReader.h"

#include <fstream>
#include <iterator>
#include <string>

namespace quorvane::test {

namespace {

class ByteCursor {
public:
    ByteCursor(const std::vector<uint8_t>& Bytes) : Bytes(Bytes) {}

    bool AtEnd() const { return Position == Bytes.size(); }
    size_t Position = 0;

    void Seek(size_t Offset) {
        Position = 0;
        Require(Offset);
        Position = Offset;
    }

    uint32_t ReadBigEndian(int Count) {
        Require(static_cast<size_t>(Count));
        uint32_t Value = 0;
        for (int Index = 0; Index < Count; ++Index) {
            Value = Value << 8 | Bytes[Position++];
        }
        return Value;
    }

    std::vector<uint8_t> ReadBytes(size_t Count) {
        Require(Count);
        std::vector<uint8_t> Result(Bytes.begin() + static_cast<ptrdiff_t>(Position),
                                    Bytes.begin() + static_cast<ptrdiff_t>(Position + Count));
        Position += Count;
        return Result;
    }

private:
    void Require(size_t Count) const {
        if (Bytes.size() - Position < Count) {
            throw std::runtime_error("FLV data cut short at offset " + std::to_string(Position));
        }
    }

    const std::vector<uint8_t>& Bytes;
};

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& Path) {
    std::ifstream File(Path, std::ios::binary);
    if (!File) {
        throw std::runtime_error("cannot open " + Path.string());
    }
    return {std::istreambuf_iterator<char>(File), std::istreambuf_iterator<char>()};
}

FlvTag ReadTag(ByteCursor& Cursor) {
    FlvTag Tag;
    Tag.Offset = Cursor.Position;
    Tag.Type = static_cast<uint8_t>(Cursor.ReadBigEndian(1));
    Tag.DataSize = Cursor.ReadBigEndian(3);
    const uint32_t LowTime = Cursor.ReadBigEndian(3);
    Tag.TimestampExtension = static_cast<uint8_t>(Cursor.ReadBigEndian(1));
    Tag.Timestamp = uint32_t{Tag.TimestampExtension} << 24 | LowTime;
    Tag.StreamId = Cursor.ReadBigEndian(3);
    if (Tag.DataSize > 0) {
        Tag.FirstDataByte = static_cast<uint8_t>(Cursor.ReadBigEndian(1));
        Tag.Payload = Cursor.ReadBytes(Tag.DataSize - 1);
    }
    const uint32_t Length = Cursor.ReadBigEndian(4);
    if (Length != Tag.DataSize + 11) {
        throw std::runtime_error("length field " + std::to_string(Length) + " after the tag at " +
                                 std::to_string(Tag.Offset) + " should be " +
                                 std::to_string(Tag.DataSize + 11));
    }
    return Tag;
}

}  // namespace

FlvFile ReadFlvFile(const std::filesystem::path& Path) {
    const std::vector<uint8_t> Bytes = ReadWholeFile(Path);
    ByteCursor Cursor(Bytes);
    if (Cursor.ReadBigEndian(3) != 0x464C56) {
        throw std::runtime_error(Path.string() + " does not start with FLV");
    }
    FlvFile File;
    File.Version = static_cast<uint8_t>(Cursor.ReadBigEndian(1));
    File.Flags = static_cast<uint8_t>(Cursor.ReadBigEndian(1));
    File.HeaderSize = Cursor.ReadBigEndian(4);
    Cursor.Seek(File.HeaderSize);
    if (Cursor.ReadBigEndian(4) != 0) {
        throw std::runtime_error("the length field before the first tag is not 0");
    }
    while (!Cursor.AtEnd()) {
        File.Tags.push_back(ReadTag(Cursor));
    }
    return File;
}

ScreenVideoPacket ParseScreenVideoPacket(const std::vector<uint8_t>& Payload) {
    ByteCursor Cursor(Payload);
    ScreenVideoPacket Packet;
    Packet.HeaderWord = Cursor.ReadBigEndian(4);
    Packet.BlockWidth = ((Packet.HeaderWord >> 28) + 1) * 16;
    Packet.ImageWidth = Packet.HeaderWord >> 16 & 0xFFF;
    Packet.BlockHeight = ((Packet.HeaderWord >> 12 & 0xF) + 1) * 16;
    Packet.ImageHeight = Packet.HeaderWord & 0xFFF;
    const uint32_t Columns = (Packet.ImageWidth + Packet.BlockWidth - 1) / Packet.BlockWidth;
    const uint32_t Rows = (Packet.ImageHeight + Packet.BlockHeight - 1) / Packet.BlockHeight;
    for (uint32_t Block = 0; Block < Columns * Rows; ++Block) {
        Packet.Blocks.push_back(Cursor.ReadBytes(Cursor.ReadBigEndian(2)));
    }
    if (!Cursor.AtEnd()) {
        throw std::runtime_error("Screen Video packet has " +
                                 std::to_string(Payload.size() - Cursor.Position) +
                                 " bytes after its last block");
    }
    return Packet;
}

}  // namespace quorvane::test
