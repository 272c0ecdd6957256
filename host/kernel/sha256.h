// SHA-256 and HMAC-SHA-256 over bytes in memory or streamed in parts: the content hashes and the
// keyed records by which the emulator knows the host code it installed itself.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace host {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    void Update(std::string_view text) { Update(text.data(), text.size()); }
    Sha256Digest Finish();

private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> m_state;
    std::array<uint8_t, 64> m_buffer{};
    size_t m_buffered = 0;
    uint64_t m_length = 0;
};

Sha256Digest HmacSha256(const void* key, size_t keySize, const void* data, size_t size);

}  // namespace host
