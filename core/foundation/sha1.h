#pragma once
// SHA-1 (FIPS 180-1) digest used to fingerprint executables. Input after the
// result was taken, or beyond 2^64 - 1 bits, marks the digest corrupted: it
// is ignored and Result answers false. One thread at a time.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace kes {

class SHA1 {
public:
    SHA1();
    virtual ~SHA1();
    SHA1(const SHA1&) = delete;
    SHA1& operator=(const SHA1&) = delete;

    void Reset();
    void Input(const unsigned char* bytes, std::size_t length);
    void Input(const char* bytes, std::size_t length);
    void Input(unsigned char byte);

    // Fills five 32-bit words, first word first; false when corrupted.
    bool Result(std::uint32_t* digest);

    SHA1& operator<<(const char* text);
    SHA1& operator<<(char byte);
    SHA1& operator<<(unsigned char byte);

private:
    struct context_deleter {
        void operator()(EVP_MD_CTX* context) const;
    };

    std::unique_ptr<EVP_MD_CTX, context_deleter> context_;
    std::uint64_t length_bytes_ = 0;
    std::uint32_t words_[5] = {};
    bool computed_ = false;
    bool corrupted_ = false;
};

// The digest as 40 upper-case hexadecimal digits.
std::wstring sha1_text(const std::uint32_t* digest);

}  // namespace kes
