#include "core/foundation/sha1.h"

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kes {
namespace {
// The bit length must fit 64 bits.
constexpr std::uint64_t max_length_bytes = (~std::uint64_t{0}) >> 3;
}  // namespace

void SHA1::context_deleter::operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }

SHA1::SHA1() : context_(EVP_MD_CTX_new()) {
    if (!context_) throw std::bad_alloc();
    Reset();
}

SHA1::~SHA1() = default;

void SHA1::Reset() {
    length_bytes_ = 0;
    computed_ = false;
    corrupted_ = EVP_DigestInit_ex(context_.get(), EVP_sha1(), nullptr) != 1;
    std::memset(words_, 0, sizeof words_);
}

void SHA1::Input(const unsigned char* bytes, std::size_t length) {
    if (length == 0) return;
    if (computed_ || corrupted_ || length > max_length_bytes - length_bytes_) {
        corrupted_ = true;
        return;
    }
    if (EVP_DigestUpdate(context_.get(), bytes, length) != 1) corrupted_ = true;
    length_bytes_ += length;
}

void SHA1::Input(const char* bytes, std::size_t length) {
    Input(reinterpret_cast<const unsigned char*>(bytes), length);
}

void SHA1::Input(unsigned char byte) { Input(&byte, 1); }

bool SHA1::Result(std::uint32_t* digest) {
    if (corrupted_) return false;
    if (!computed_) {
        unsigned char bytes[20];
        unsigned int size = 0;
        if (EVP_DigestFinal_ex(context_.get(), bytes, &size) != 1 || size != sizeof bytes) {
            corrupted_ = true;
            return false;
        }
        for (int word = 0; word < 5; ++word) {
            words_[word] = (std::uint32_t{bytes[4 * word]} << 24) | (std::uint32_t{bytes[4 * word + 1]} << 16) |
                           (std::uint32_t{bytes[4 * word + 2]} << 8) | std::uint32_t{bytes[4 * word + 3]};
        }
        computed_ = true;
    }
    std::memcpy(digest, words_, sizeof words_);
    return true;
}

SHA1& SHA1::operator<<(const char* text) {
    if (text) Input(text, std::strlen(text));
    return *this;
}

SHA1& SHA1::operator<<(char byte) {
    Input(static_cast<unsigned char>(byte));
    return *this;
}

SHA1& SHA1::operator<<(unsigned char byte) {
    Input(byte);
    return *this;
}

std::wstring sha1_text(const std::uint32_t* digest) {
    char text[41];
    std::snprintf(text, sizeof text, "%08X%08X%08X%08X%08X", digest[0], digest[1], digest[2], digest[3],
                  digest[4]);
    return std::wstring(text, text + 40);
}

}  // namespace kes
