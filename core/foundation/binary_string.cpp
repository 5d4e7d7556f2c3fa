#include "core/foundation/binary_string.h"

#include <array>
#include <cstdint>

namespace kes::util {
namespace {

template <std::size_t N>
void put_little_endian(std::ostream& out, std::uint64_t value) {
    std::array<char, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    out.write(bytes.data(), N);
}

template <std::size_t N>
bool get_little_endian(std::istream& in, std::uint64_t& value) {
    std::array<unsigned char, N> bytes{};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), N)) return false;
    value = 0;
    for (std::size_t i = 0; i < N; ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return true;
}

}  // namespace

std::ostream& write_wstring(std::ostream& out, const std::wstring& text) {
    put_little_endian<8>(out, text.size());
    if (text.size() > max_stored_wstring_length) return out;
    for (const wchar_t ch : text) put_little_endian<4>(out, static_cast<std::uint32_t>(ch));
    return out;
}

std::istream& read_wstring(std::istream& in, std::wstring& text) {
    text.clear();
    std::uint64_t count = 0;
    if (!get_little_endian<8>(in, count) || count > max_stored_wstring_length) return in;
    text.reserve(static_cast<std::size_t>(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint64_t code = 0;
        if (!get_little_endian<4>(in, code)) return in;
        text.push_back(static_cast<wchar_t>(static_cast<std::uint32_t>(code)));
    }
    return in;
}

}  // namespace kes::util
