// Bitfiles of any bitstream size for tests and benchmarks: deterministic
// image bytes, their base64 text with line breaks as libb64's encoder writes
// it, and a bitfile text whose Bitstream element holds them.
#pragma once

// libb64 declares its C functions without C linkage.
extern "C" {
#include <b64/cencode.h>
}

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvtest {

// n bytes that differ from size to size and position to position.
inline std::vector<uint8_t> bitstreamBytes(size_t n, uint64_t seed = 0x9E3779B97F4A7C15u) {
    std::vector<uint8_t> bytes(n);
    uint64_t state = seed ^ n;
    for (size_t i = 0; i < n; ++i) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        bytes[i] = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

// Base64 with a line break after every 72 characters.
inline std::string base64Text(const std::vector<uint8_t>& bytes) {
    std::string text(bytes.size() * 4 / 3 + bytes.size() / 54 + 16, '\0');
    base64_encodestate state;
    base64_init_encodestate(&state);
    size_t written = 0;
    constexpr size_t kPiece = 1u << 26;  // the encoder counts in int
    for (size_t start = 0; start < bytes.size(); start += kPiece) {
        const size_t length = std::min(kPiece, bytes.size() - start);
        written += static_cast<size_t>(
            base64_encode_block(reinterpret_cast<const char*>(bytes.data() + start),
                                static_cast<int>(length), text.data() + written, &state));
    }
    written += static_cast<size_t>(base64_encode_blockend(text.data() + written, &state));
    text.resize(written);
    return text;
}

inline std::string readTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The bitfile text with its Bitstream element's content replaced.
inline std::string withBitstream(const std::string& bitfile, const std::string& base64) {
    const size_t open = bitfile.find("<Bitstream>");
    const size_t close = bitfile.find("</Bitstream>");
    if (open == std::string::npos || close == std::string::npos) {
        throw std::runtime_error("no Bitstream element");
    }
    const size_t start = open + std::string("<Bitstream>").size();
    return bitfile.substr(0, start) + base64 + bitfile.substr(close);
}

// A CompilationResults element with n target-to-host channels, each placed
// by a register block of its own; the blocks stand in reverse channel order,
// so that a channel found by scanning would cost a scan per block.
inline std::string channelListText(size_t n) {
    std::string channels;
    std::string blocks;
    for (size_t i = 0; i < n; ++i) {
        const std::string number = std::to_string(i);
        channels +=
            "<Channel name=\"fifo " + number + "\"><Number>" + number +
            "</Number><NumberOfElements>1023</NumberOfElements><BaseAddressTag>block " + number +
            "</BaseAddressTag><Implementation>qvFpgaTargetToHost</Implementation><DataType><U32/>"
            "</DataType><UserVisible>true</UserVisible></Channel>\n";
    }
    for (size_t i = n; i-- > 0;) {
        blocks += "<RegisterBlock name=\"block " + std::to_string(i) + "\"><Offset>" +
                  std::to_string(0x1000 + i) + "</Offset></RegisterBlock>\n";
    }
    return "<CompilationResults><QvFpga><DmaChannelAllocationList>\n" + channels +
           "</DmaChannelAllocationList><RegisterBlockList>\n" + blocks +
           "</RegisterBlockList></QvFpga></CompilationResults>\n";
}

}  // namespace qvtest
