#pragma once
// Reading members of a service answer with their kinds checked. nlohmann's
// own get<int>() quietly turns 1.5 and true into 1; these refuse every
// member that is missing or of another kind with a nlohmann::json::exception,
// which the endpoints turn into ParseError.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Kestrel::Network::answer {

// How much of an answer is kept: elements of one list (or members of one
// object) and values in all, so that an answer under the size cap cannot
// still take hundreds of megabytes as parsed values.
struct answer_limit {
    std::size_t per_list = 10000;
    std::size_t in_total = 100000;
};

// The body parsed; anything but an object at the top is refused. Values
// past the limit are left out, and how many is logged under `operation`.
nlohmann::json parse_object(const std::string& body, const wchar_t* operation, answer_limit limit = {});

std::wstring string_member(const nlohmann::json& object, const char* name);
std::optional<std::wstring> optional_string_member(const nlohmann::json& object, const char* name);
std::int32_t int32_member(const nlohmann::json& object, const char* name);
std::optional<std::int32_t> optional_int32_member(const nlohmann::json& object, const char* name);
bool bool_member(const nlohmann::json& object, const char* name);
const nlohmann::json& object_member(const nlohmann::json& object, const char* name);
std::vector<std::wstring> string_array_member(const nlohmann::json& object, const char* name);
std::vector<std::int32_t> int32_array_member(const nlohmann::json& object, const char* name);

// A JSON string as text; invalid UTF-8 cannot get here (the parser refuses it).
std::wstring to_text(const nlohmann::json& value);

}  // namespace Kestrel::Network::answer
