#include "core/service/answer_reading.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/text.h"

#include <limits>

namespace Kestrel::Network::answer {
namespace {

using json = nlohmann::json;

[[noreturn]] void refuse(const char* name, const char* expected, const json& found) {
    throw json::type_error::create(302, std::string("member \"") + name + "\" must be " + expected +
                                            ", but is " + found.type_name(), nullptr);
}

const json& member(const json& object, const char* name) {
    static const json missing;  // null
    if (!object.is_object()) refuse(name, "inside an object", object);
    const auto found = object.find(name);
    return found == object.end() ? missing : *found;
}

bool is_int32(const json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());
    }
    if (!value.is_number_integer()) return false;
    const std::int64_t number = value.get<std::int64_t>();
    return number >= std::numeric_limits<std::int32_t>::min() && number <= std::numeric_limits<std::int32_t>::max();
}

std::int32_t checked_int32(const char* name, const json& value) {
    if (!is_int32(value)) refuse(name, "a 32-bit integer", value);
    return static_cast<std::int32_t>(value.get<std::int64_t>());
}

}  // namespace

json parse_object(const std::string& body, const wchar_t* operation, answer_limit limit) {
    kes::json_item_limit kept{limit.per_list, limit.in_total};
    json parsed = kes::parse_json_bounded(body, kept);
    if (kept.dropped != 0) {
        kes::log(std::wstring(L"[API::") + operation + L"] The answer held more than the agent keeps: left out " +
                     std::to_wstring(kept.dropped) + L" values (a list keeps at most " +
                     std::to_wstring(limit.per_list) + L", an answer " + std::to_wstring(limit.in_total) + L")",
                 kes::log_level::caught_network);
    }
    if (!parsed.is_object()) {
        throw json::type_error::create(302, std::string("the answer must be an object, but is ") +
                                                parsed.type_name(), nullptr);
    }
    return parsed;
}

std::wstring to_text(const json& value) {
    return kes::util::utf8_to_wstring(value.get_ref<const std::string&>());
}

std::wstring string_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_string()) refuse(name, "a string", value);
    return to_text(value);
}

std::optional<std::wstring> optional_string_member(const json& object, const char* name) {
    if (member(object, name).is_null()) return std::nullopt;
    return string_member(object, name);
}

std::int32_t int32_member(const json& object, const char* name) {
    return checked_int32(name, member(object, name));
}

std::optional<std::int32_t> optional_int32_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!is_int32(value)) return std::nullopt;
    return static_cast<std::int32_t>(value.get<std::int64_t>());
}

bool bool_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_boolean()) refuse(name, "a boolean", value);
    return value.get<bool>();
}

const json& object_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_object()) refuse(name, "an object", value);
    return value;
}

std::vector<std::wstring> string_array_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_array()) refuse(name, "an array", value);
    std::vector<std::wstring> texts;
    texts.reserve(value.size());
    for (const json& element : value) {
        if (!element.is_string()) refuse(name, "an array of strings", element);
        texts.push_back(to_text(element));
    }
    return texts;
}

std::vector<std::int32_t> int32_array_member(const json& object, const char* name) {
    const json& value = member(object, name);
    if (!value.is_array()) refuse(name, "an array", value);
    std::vector<std::int32_t> numbers;
    numbers.reserve(value.size());
    for (const json& element : value) numbers.push_back(checked_int32(name, element));
    return numbers;
}

}  // namespace Kestrel::Network::answer
