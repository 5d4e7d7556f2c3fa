// libFuzzer target: untrusted JSON and YAML text read into DynamicStructure,
// written back as JSON and applied to the configuration store. Nothing here
// may stop the process: parse failures are exceptions, and what the writer
// produces must always be valid UTF-8 JSON that reads back to the value the
// reading rules predict (see `expected_after_round_trip`).
//
// The first byte picks the reader (even: JSON, odd: YAML); the rest is the text.

#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"
#include "core/foundation/text.h"

#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using DS = kes::DynamicStructure;

DS read(bool as_yaml, const std::string& text) {
    if (as_yaml) return kes::DynamicStructureFromYamlText(text);
    return kes::DynamicStructureFromJsonText(text);
}

// The float as the writer puts it (fixed, 5 decimals) and the reader takes it back.
float through_text(float value) {
    char text[512];
    const auto end = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::fixed, 5).ptr;
    *end = '\0';
    return static_cast<float>(std::strtod(text, nullptr));
}

// What writing `value` as JSON and reading the text back must give: a float
// that is not finite is written as null, so it reads as Nil, which an array
// drops (and an array left empty is Nil itself); a member name is written as
// UTF-8 and read back widened byte by byte; floats keep 5 decimals.
DS expected_after_round_trip(const DS& value) {
    switch (value.GetType()) {
        case DS::FloatType: {
            const float number = value.AsFloat(false);
            return std::isfinite(number) ? DS(through_text(number)) : DS();
        }
        case DS::ArrayType: {
            DS result;
            for (std::size_t i = 0; i < value.Size(); ++i) {
                DS element = expected_after_round_trip(value[i]);
                if (!element.IsNil()) result.PushBack(element);
            }
            return result;
        }
        case DS::StructureType: {
            DS result;
            for (const auto& member : value) {
                result.AddMember(kes::util::widen(kes::util::wstring_to_utf8(member.first)),
                                 expected_after_round_trip(member.second));
            }
            return result;
        }
        default:
            return value;
    }
}

bool same(const DS& a, const DS& b) {
    if (a.GetType() != b.GetType()) return false;
    switch (a.GetType()) {
        case DS::FloatType: {
            const float x = a.AsFloat(false), y = b.AsFloat(false);
            return std::fabs(x - y) <= 1e-6f * std::fmax(1.0f, std::fabs(y));
        }
        case DS::ArrayType:
            if (a.Size() != b.Size()) return false;
            for (std::size_t i = 0; i < a.Size(); ++i) {
                if (!same(a[i], b[i])) return false;
            }
            return true;
        case DS::StructureType:
            if (a.Size() != b.Size()) return false;
            for (const auto& member : a) {
                if (!b.HasMember(member.first) || !same(member.second, b.GetMember(member.first))) return false;
            }
            return true;
        default:
            return a == b;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A private home, so the store's files and debug log stay out of the way.
    static std::string home = "/tmp/kes-fuzz-XXXXXX";
    if (::mkdtemp(home.data()) == nullptr) std::abort();
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home + "/share").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    // Quiet: the loader logs every unparsable time.
    kes::config::instance().set_debug_log_level(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool as_yaml = (data[0] & 1) != 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    DS value;
    try {
        value = read(as_yaml, text);
    } catch (const nlohmann::json::exception&) {
        return 0;
    } catch (const YAML::Exception&) {
        return 0;
    } catch (const std::exception&) {
        return 0;  // invalid UTF-8, nesting too deep
    }
    const std::string written = kes::WriteJsonUtf8(value);
    // Throws (and so aborts the run) when the writer produced anything a
    // JSON parser rejects.
    const DS again = kes::DynamicStructureFromJsonText(written);
    if (!same(again, expected_after_round_trip(value))) std::abort();
    kes::config::instance().load(value);
    return 0;
}
