// libFuzzer target: untrusted JSON and YAML text read into DynamicStructure,
// written back as JSON and applied to the configuration store. Nothing here
// may stop the process: parse failures are exceptions, and what the writer
// produces must always be valid UTF-8 JSON that reads back.
//
// The first byte picks the reader (even: JSON, odd: YAML); the rest is the text.

#include "core/foundation/config.h"
#include "core/foundation/dynamic_structure.h"
#include "core/foundation/dynamic_structure_io.h"

#include <nlohmann/json.hpp>
#include <yaml-cpp/yaml.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

kes::DynamicStructure read(bool as_yaml, const std::string& text) {
    if (as_yaml) return kes::DynamicStructureFromYamlText(text);
    return kes::DynamicStructureFromJsonText(text);
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
    kes::DynamicStructure value;
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
    const kes::DynamicStructure again = kes::DynamicStructureFromJsonText(written);
    if (again.GetType() != value.GetType() && !(value.IsFloat() && again.IsNil())) std::abort();
    kes::config::instance().load(value);
    return 0;
}
