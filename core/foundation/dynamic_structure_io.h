#pragma once
// DynamicStructure from parsed JSON (nlohmann-json) and YAML (yaml-cpp), and
// as indented JSON text.
//
// Reading rules: integers keep their low 32 bits (sign-extended: 4294967295
// reads as -1); floating-point numbers become 32-bit floats; an empty object,
// array, sequence or map reads as Nil; a null (or empty container) inside an
// array is skipped, since arrays never hold Nil. JSON member names are widened
// byte by byte, JSON string values decoded from UTF-8 (invalid UTF-8 throws
// std::range_error). YAML scalars become the first kind that converts: bool
// (yes/on/true...), 32-bit integer, float, then text widened byte by byte.
// Nesting deeper than max_nesting_depth throws std::runtime_error, and so does
// a YAML document whose aliases would expand past max_yaml_nodes values or
// max_yaml_text_bytes of scalar text (an alias shares its anchor's node;
// reading copies it for every use). Every
// failure is an exception for the caller to treat as a failed parse; input
// never stops the process.
//
// Writing: one tab per level, floats in fixed notation with 5 decimals
// (a float that is not finite is written as null, JSON has no such number),
// control characters, quotation marks and backslashes escaped, nothing after
// the last bracket. Numbers do not depend on the stream's locale.

#include "core/foundation/dynamic_structure.h"

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace YAML {
class Node;
}

namespace kes {

inline constexpr int max_nesting_depth = 256;
inline constexpr std::size_t max_yaml_nodes = 100000;
inline constexpr std::size_t max_yaml_text_bytes = 16 * 1024 * 1024;
// The legacy settings file is a few kilobytes; yaml-cpp's nodes cost about
// a kilobyte each, so its input is bounded well below the JSON files'.
inline constexpr std::size_t max_yaml_input_bytes = 256 * 1024;

DynamicStructure DynamicStructureFromJson(const nlohmann::json& value);
DynamicStructure DynamicStructureFromYaml(const YAML::Node& node);

// How many values a JSON reading keeps: elements of one array or members of
// one object, and values in all. Those past either limit are parsed, left
// out (with all they hold) and counted, so the caller can say what was cut.
struct json_item_limit {
    std::size_t per_container;
    std::size_t in_total;
    std::size_t dropped = 0;
};

// Parse untrusted text with the nesting bounded while parsing, so no value
// deeper than max_nesting_depth is ever built (copying or reading one would
// recurse past the stack). Time is linear in the text. Syntax errors are the
// libraries' own exceptions (nlohmann::json::exception, YAML::Exception);
// too deep a text is std::runtime_error. The YAML form loads the first
// document, as YAML::Load; a text longer than max_yaml_input_bytes, nested
// deeper in flow brackets than max_nesting_depth or naming more than
// max_yaml_nodes values is refused (std::runtime_error) before any node of
// it is built. Without a limit every JSON value is kept.
nlohmann::json parse_json_bounded(std::string_view utf8_text);
nlohmann::json parse_json_bounded(std::string_view utf8_text, json_item_limit& limit);
YAML::Node load_yaml_bounded(const std::string& text);

// Parses the text (bounded as above, keeping every value) and reads it.
DynamicStructure DynamicStructureFromJsonText(std::string_view utf8_text);
DynamicStructure DynamicStructureFromYamlText(const std::string& text);

// Writes characters as they are; the stream decides their encoding.
std::wostream& WriteJson(std::wostream& out, const DynamicStructure& value);

// The JSON text as UTF-8. A text (value or member name) holding a character
// UTF-8 cannot encode is logged and written as the empty text, so the result
// is always valid UTF-8.
std::string WriteJsonUtf8(const DynamicStructure& value);

}  // namespace kes
