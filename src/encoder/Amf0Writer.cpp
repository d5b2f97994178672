#include "encoder/Amf0Writer.h"

#include <bit>
#include <stdexcept>

namespace quorvane {

namespace {

enum Amf0Marker : uint8_t {
    NumberMarker = 0x00,
    BooleanMarker = 0x01,
    StringMarker = 0x02,
    ObjectMarker = 0x03,
    EcmaArrayMarker = 0x08,
    ObjectEndMarker = 0x09,
    StrictArrayMarker = 0x0A,
};

}  // namespace

void TAmf0Writer::Number(double Value) {
    Append(NumberMarker);
    const auto Bits = std::bit_cast<uint64_t>(Value);
    AppendUInt32(static_cast<uint32_t>(Bits >> 32));
    AppendUInt32(static_cast<uint32_t>(Bits));
}

void TAmf0Writer::Boolean(bool Value) {
    Append(BooleanMarker);
    Append(Value ? 1 : 0);
}

void TAmf0Writer::String(const std::string& Text) {
    Append(StringMarker);
    AppendText(Text);
}

void TAmf0Writer::StrictArray(const std::vector<double>& Numbers) {
    Append(StrictArrayMarker);
    AppendUInt32(static_cast<uint32_t>(Numbers.size()));
    for (double Value : Numbers) {
        Number(Value);
    }
}

void TAmf0Writer::BeginObject() {
    Append(ObjectMarker);
}

void TAmf0Writer::BeginEcmaArray(uint32_t Count) {
    Append(EcmaArrayMarker);
    AppendUInt32(Count);
}

void TAmf0Writer::Key(const std::string& Name) {
    AppendText(Name);
}

// An empty key followed by the end marker.
void TAmf0Writer::EndObject() {
    AppendUInt16(0);
    Append(ObjectEndMarker);
}

void TAmf0Writer::AppendUInt16(uint16_t Value) {
    Append(static_cast<uint8_t>(Value >> 8));
    Append(static_cast<uint8_t>(Value));
}

void TAmf0Writer::AppendUInt32(uint32_t Value) {
    AppendUInt16(static_cast<uint16_t>(Value >> 16));
    AppendUInt16(static_cast<uint16_t>(Value));
}

void TAmf0Writer::AppendText(const std::string& Text) {
    if (Text.size() > 0xFFFF) {
        throw std::length_error("An AMF0 string holds at most 65535 bytes.");
    }
    AppendUInt16(static_cast<uint16_t>(Text.size()));
    Buffer.insert(Buffer.end(), Text.begin(), Text.end());
}

}  // namespace quorvane
