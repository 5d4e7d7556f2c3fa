#include "core/ui/text_table.h"

namespace kes {

std::wstring get_text(const std::wstring& key) { return key; }

std::wstring get_text_with_args(const std::wstring& key, const std::wstring&, const std::wstring&,
                                const std::wstring&) {
    return key;
}

}  // namespace kes
