#pragma once
// Reading members of a service answer with their kinds checked. nlohmann's
// own get<int>() quietly turns 1.5 and true into 1; these refuse every
// member that is missing or of another kind with a nlohmann::json::exception,
// which the endpoints turn into ParseError.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace Kestrel::Network::answer {

// The body parsed; anything but an object at the top is refused.
nlohmann::json parse_object(const std::string& body);

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
