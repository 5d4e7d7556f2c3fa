#pragma once
// User-visible English texts, looked up by key when shown. A template holds
// the placeholder "%$%" where an argument goes.

#include <cstddef>
#include <string>

namespace kes {

// The text of a key; an unknown key gives the key itself.
std::wstring get_text(const std::wstring& key);

// The text with its placeholders filled, in order, by the arguments.
std::wstring get_text_with_args(const std::wstring& key, const std::wstring& a1,
                                const std::wstring& a2 = L"", const std::wstring& a3 = L"");

// How many keys the table holds.
std::size_t text_table_size();

}  // namespace kes
