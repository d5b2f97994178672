// Script data values (AMF0) as FLV files carry them in script tags.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// Appends AMF0 values to a byte buffer. Objects and ECMA arrays are written
// as a start, then Key and value pairs, then EndObject.
class TAmf0Writer {
public:
    void Number(double Value);
    void Boolean(bool Value);
    void String(const std::string& Text);  // shorter than 65536 bytes
    void StrictArray(const std::vector<double>& Numbers);

    void BeginObject();
    // Count: the number of pairs that follow, as readers expect it.
    void BeginEcmaArray(uint32_t Count);
    void Key(const std::string& Name);
    void EndObject();

    const std::vector<uint8_t>& Bytes() const { return Buffer; }

private:
    void Append(uint8_t Byte) { Buffer.push_back(Byte); }
    void AppendUInt16(uint16_t Value);
    void AppendUInt32(uint32_t Value);
    void AppendText(const std::string& Text);

    std::vector<uint8_t> Buffer;
};

}  // namespace quorvane
