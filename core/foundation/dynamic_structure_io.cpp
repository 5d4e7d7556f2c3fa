#include "core/foundation/dynamic_structure_io.h"

#include "core/foundation/debug_log.h"
#include "core/foundation/text.h"

#include <nlohmann/json.hpp>
#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/yaml.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace kes {
namespace {

[[noreturn]] void refuse_depth() { throw std::runtime_error("structure nested too deeply"); }

void check_depth(int depth) {
    if (depth > max_nesting_depth) refuse_depth();
}

// Counts the values a YAML reading makes, and the text they copy: aliases
// are shared nodes, and a few hundred bytes of them would otherwise expand
// into billions of copies (or one long scalar into gigabytes of them).
class node_budget {
public:
    void spend_node() {
        if (++nodes_ > max_yaml_nodes) {
            throw std::runtime_error("YAML names more values than the limit (each use of an alias counts)");
        }
    }
    void spend_text(std::size_t bytes) {
        text_bytes_ += bytes;
        if (text_bytes_ > max_yaml_text_bytes) throw std::runtime_error("YAML aliases copy more text than the limit");
    }

private:
    std::size_t nodes_ = 0;
    std::size_t text_bytes_ = 0;
};

// Walks the parser's events for the first document and refuses it once it
// nests too deeply or names too many values, before any node of it exists.
// The depth is that of the containers open around an event, as the readers
// count it.
class yaml_shape_check : public YAML::EventHandler {
public:
    void OnDocumentStart(const YAML::Mark&) override {}
    void OnDocumentEnd() override {}
    void OnNull(const YAML::Mark&, YAML::anchor_t) override { value(); }
    void OnAlias(const YAML::Mark&, YAML::anchor_t) override { value(); }
    void OnScalar(const YAML::Mark&, const std::string&, YAML::anchor_t, const std::string&) override { value(); }
    void OnSequenceStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        open();
    }
    void OnSequenceEnd() override { --depth_; }
    void OnMapStart(const YAML::Mark&, const std::string&, YAML::anchor_t, YAML::EmitterStyle::value) override {
        open();
    }
    void OnMapEnd() override { --depth_; }

private:
    void value() {
        check_depth(depth_);
        budget_.spend_node();
    }
    void open() {
        value();
        ++depth_;
    }

    int depth_ = 0;
    node_budget budget_;
};

// yaml-cpp's scanner keeps state for every flow bracket ([ or {) still open
// before the first event reaches the check above: a few megabytes of "["
// took gigabytes. So the text's deepest bracket nesting outside quotes and
// comments is counted first; brackets inside plain scalars count too, which
// only errs towards refusing an absurd text.
void refuse_deep_flow_nesting(const std::string& text) {
    enum class state { plain, single_quoted, double_quoted, comment };
    state at = state::plain;
    int depth = 0;
    bool escaped = false;  // the previous character of a double-quoted scalar was a backslash
    char previous = '\n';
    for (const char c : text) {
        const bool after_blank = previous == '\n' || previous == '\r' || previous == ' ' || previous == '\t';
        const bool after_separator =
            after_blank || previous == '[' || previous == '{' || previous == ',' || previous == ':';
        switch (at) {
            case state::plain:
                if (c == '[' || c == '{') {
                    check_depth(depth++);
                } else if ((c == ']' || c == '}') && depth > 0) {
                    --depth;
                } else if (c == '#' && after_blank) {
                    at = state::comment;
                } else if (c == '\'' && after_separator) {
                    at = state::single_quoted;
                } else if (c == '"' && after_separator) {
                    at = state::double_quoted;
                }
                break;
            case state::single_quoted:
                if (c == '\'') at = state::plain;
                break;
            case state::double_quoted:
                if (!escaped && c == '"') at = state::plain;
                escaped = !escaped && c == '\\';
                break;
            case state::comment:
                if (c == '\n') at = state::plain;
                break;
        }
        previous = c;
    }
}

// Builds the parsed value from the parser's events, one step per event, so
// the time is linear in the text (the library's callback parser revisits a
// container at every value that ends in it). Refuses a value nested too
// deeply before it exists, and leaves out what lies past the item limit.
class bounded_json_builder {
public:
    using json = nlohmann::json;

    bounded_json_builder(json& root, json_item_limit& limit) : root_(root), limit_(limit) {}

    bool null() { return scalar(json(nullptr)); }
    bool boolean(bool value) { return scalar(json(value)); }
    bool number_integer(json::number_integer_t value) { return scalar(json(value)); }
    bool number_unsigned(json::number_unsigned_t value) { return scalar(json(value)); }
    bool number_float(json::number_float_t value, const json::string_t&) { return scalar(json(value)); }
    bool string(json::string_t& value) { return scalar(json(std::move(value))); }
    bool binary(json::binary_t& value) { return scalar(json(std::move(value))); }
    bool start_object(std::size_t) { return open(json::value_t::object); }
    bool start_array(std::size_t) { return open(json::value_t::array); }
    bool end_object() { return close(); }
    bool end_array() { return close(); }

    bool key(json::string_t& name) {
        member_ = nullptr;
        if (skipped_levels_ > 0) return true;
        json& object = *open_.back();
        // A repeated name replaces its member, as the library's own parser does.
        if (object.contains(name) || admit(object.size())) member_ = &object[std::move(name)];
        return true;
    }

    template <class Exception>
    bool parse_error(std::size_t, const std::string&, const Exception& error) {
        throw error;
    }

private:
    void check_nesting() const { check_depth(static_cast<int>(open_.size() + skipped_levels_)); }

    // Whether one more value fits beside `siblings` others; counted either way.
    bool admit(std::size_t siblings) {
        if (siblings >= limit_.per_container || kept_ >= limit_.in_total) {
            ++limit_.dropped;
            return false;
        }
        ++kept_;
        return true;
    }

    // Puts the next value where it belongs: the root, the open array, or the
    // member the last name chose. Nullptr when it is left out.
    json* place(json&& value) {
        if (skipped_levels_ > 0) return nullptr;
        if (open_.empty()) return &(root_ = std::move(value));
        json& parent = *open_.back();
        if (!parent.is_array()) {
            json* member = std::exchange(member_, nullptr);
            return member == nullptr ? nullptr : &(*member = std::move(value));
        }
        if (!admit(parent.size())) return nullptr;
        auto& elements = parent.get_ref<json::array_t&>();
        elements.push_back(std::move(value));
        return &elements.back();
    }

    bool scalar(json&& value) {
        check_nesting();
        place(std::move(value));
        return true;
    }

    // An open container's address stays valid: its parent gains no element
    // until it is closed.
    bool open(json::value_t kind) {
        check_nesting();
        if (json* target = place(json(kind))) {
            open_.push_back(target);
        } else {
            ++skipped_levels_;
        }
        return true;
    }

    bool close() {
        if (skipped_levels_ > 0) {
            --skipped_levels_;
        } else {
            open_.pop_back();
        }
        return true;
    }

    json& root_;
    json_item_limit& limit_;
    std::vector<json*> open_;
    std::size_t kept_ = 0;
    std::size_t skipped_levels_ = 0;  // containers open inside one that is left out
    json* member_ = nullptr;          // the member the next value of an object fills
};

std::int64_t low_32_bits(std::uint64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
}

float to_float(double value) {
    // Nearest-rounding overflows to infinity from the midpoint between the
    // largest float and the next power of two on; say so explicitly instead
    // of relying on an out-of-range conversion.
    constexpr double overflow = 3.4028235677973366e38;  // (2 - 2^-24) * 2^127
    if (value >= overflow) return std::numeric_limits<float>::infinity();
    if (value <= -overflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

DynamicStructure from_json(const nlohmann::json& value, int depth) {
    check_depth(depth);
    DynamicStructure result;
    switch (value.type()) {
        case nlohmann::json::value_t::object:
            for (const auto& member : value.items()) {
                result.AddMember(util::widen(member.key()), from_json(member.value(), depth + 1));
            }
            break;
        case nlohmann::json::value_t::array:
            for (const auto& element : value) {
                DynamicStructure read = from_json(element, depth + 1);
                if (!read.IsNil()) result.PushBack(read);
            }
            break;
        case nlohmann::json::value_t::string:
            result.SetString(util::utf8_to_wstring(value.get_ref<const std::string&>()), true);
            break;
        case nlohmann::json::value_t::boolean:
            result.SetBoolean(value.get<bool>(), true);
            break;
        case nlohmann::json::value_t::number_integer:
            result.SetInteger(low_32_bits(static_cast<std::uint64_t>(value.get<std::int64_t>())), true);
            break;
        case nlohmann::json::value_t::number_unsigned:
            result.SetInteger(low_32_bits(value.get<std::uint64_t>()), true);
            break;
        case nlohmann::json::value_t::number_float:
            result.SetFloat(to_float(value.get<double>()), true);
            break;
        case nlohmann::json::value_t::null:
        case nlohmann::json::value_t::binary:
        case nlohmann::json::value_t::discarded:
            break;
    }
    return result;
}

DynamicStructure scalar_from_yaml(const YAML::Node& node) {
    DynamicStructure result;
    bool as_bool = false;
    std::int32_t as_integer = 0;
    float as_float = 0.0f;
    std::string as_text;
    if (YAML::convert<bool>::decode(node, as_bool)) {
        result.SetBoolean(as_bool, true);
    } else if (YAML::convert<std::int32_t>::decode(node, as_integer)) {
        result.SetInteger(as_integer, true);
    } else if (YAML::convert<float>::decode(node, as_float)) {
        result.SetFloat(as_float, true);
    } else if (YAML::convert<std::string>::decode(node, as_text)) {
        result.SetString(util::widen(as_text), true);
    }
    return result;
}

DynamicStructure from_yaml(const YAML::Node& node, int depth, node_budget& budget) {
    check_depth(depth);
    budget.spend_node();
    DynamicStructure result;
    switch (node.Type()) {  // throws YAML::InvalidNode for an invalid node
        case YAML::NodeType::Undefined:
        case YAML::NodeType::Null:
            break;
        case YAML::NodeType::Scalar:
            budget.spend_text(node.Scalar().size());
            result = scalar_from_yaml(node);
            break;
        case YAML::NodeType::Sequence:
            for (const auto& element : node) {
                DynamicStructure read = from_yaml(element, depth + 1, budget);
                if (!read.IsNil()) result.PushBack(read);
            }
            break;
        case YAML::NodeType::Map:
            for (const auto& pair : node) {
                // A key that is itself a map or sequence names no setting.
                if (!pair.first.IsScalar()) continue;
                budget.spend_text(pair.first.Scalar().size());
                result.SetMember(util::widen(pair.first.Scalar()), from_yaml(pair.second, depth + 1, budget));
            }
            break;
    }
    return result;
}

// ---- writing

template <class Number, class... Format>
void write_number(std::wostream& out, Number value, Format... format) {
    char buffer[512];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
    for (const char* c = buffer; c != written.ptr; ++c) out.put(static_cast<wchar_t>(*c));
}

bool encodable(const std::wstring& text) {
    for (const wchar_t c : text) {
        const auto code = static_cast<std::uint32_t>(c);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    }
    return true;
}

class json_writer {
public:
    json_writer(std::wostream& out, bool blank_unencodable) : out_(out), blank_unencodable_(blank_unencodable) {}

    void value(const DynamicStructure& v, int depth) {
        switch (v.GetType()) {
            case DynamicStructure::NilType: out_ << L"null"; break;
            case DynamicStructure::IntegerType: write_number(out_, v.AsInteger(false)); break;
            case DynamicStructure::FloatType: write_float(v.AsFloat(false)); break;
            case DynamicStructure::BooleanType: out_ << (v.AsBoolean(false) ? L"true" : L"false"); break;
            case DynamicStructure::StringType: text(v.AsString(false)); break;
            case DynamicStructure::ArrayType: array(v, depth); break;
            case DynamicStructure::StructureType: structure(v, depth); break;
        }
    }

private:
    void write_float(float number) {
        if (!std::isfinite(number)) {
            out_ << L"null";
            return;
        }
        write_number(out_, number, std::chars_format::fixed, 5);
    }

    void indent(int depth) {
        for (int i = 0; i < depth; ++i) out_.put(L'\t');
    }

    void array(const DynamicStructure& v, int depth) {
        out_ << L"[\n";
        const std::size_t count = v.Size();
        for (std::size_t i = 0; i < count; ++i) {
            indent(depth + 1);
            value(v[i], depth + 1);
            out_ << (i + 1 < count ? L",\n" : L"\n");
        }
        indent(depth);
        out_.put(L']');
    }

    void structure(const DynamicStructure& v, int depth) {
        out_ << L"{\n";
        std::size_t left = v.Size();
        for (const auto& member : v) {
            indent(depth + 1);
            text(member.first);
            out_.put(L':');
            value(member.second, depth + 1);
            out_ << (--left > 0 ? L",\n" : L"\n");
        }
        indent(depth);
        out_.put(L'}');
    }

    void text(const std::wstring& raw) {
        if (blank_unencodable_ && !encodable(raw)) {
            log(L"[DynamicStructure:WriteJson] A text holds a character UTF-8 cannot encode; written as empty.",
                log_level::error);
            out_ << L"\"\"";
            return;
        }
        static const wchar_t hex[] = L"0123456789abcdef";
        out_.put(L'"');
        for (const wchar_t c : raw) {
            switch (c) {
                case L'"': out_ << L"\\\""; break;
                case L'\\': out_ << L"\\\\"; break;
                case L'\b': out_ << L"\\b"; break;
                case L'\f': out_ << L"\\f"; break;
                case L'\n': out_ << L"\\n"; break;
                case L'\r': out_ << L"\\r"; break;
                case L'\t': out_ << L"\\t"; break;
                default:
                    if (static_cast<std::uint32_t>(c) < 0x20) {
                        out_ << L"\\u00" << hex[(c >> 4) & 0xF] << hex[c & 0xF];
                    } else {
                        out_.put(c);
                    }
            }
        }
        out_.put(L'"');
    }

    std::wostream& out_;
    bool blank_unencodable_;
};

}  // namespace

DynamicStructure DynamicStructureFromJson(const nlohmann::json& value) { return from_json(value, 0); }

DynamicStructure DynamicStructureFromYaml(const YAML::Node& node) {
    node_budget budget;
    return from_yaml(node, 0, budget);
}

nlohmann::json parse_json_bounded(std::string_view utf8_text) {
    json_item_limit unlimited{std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::size_t>::max()};
    return parse_json_bounded(utf8_text, unlimited);
}

nlohmann::json parse_json_bounded(std::string_view utf8_text, json_item_limit& limit) {
    nlohmann::json root;
    bounded_json_builder builder(root, limit);
    nlohmann::json::sax_parse(utf8_text.begin(), utf8_text.end(), &builder);
    return root;
}

YAML::Node load_yaml_bounded(const std::string& text) {
    if (text.size() > max_yaml_input_bytes) throw std::runtime_error("YAML text longer than the limit");
    refuse_deep_flow_nesting(text);
    {
        std::istringstream events(text);
        YAML::Parser parser(events);
        yaml_shape_check check;
        parser.HandleNextDocument(check);
    }
    return YAML::Load(text);
}

DynamicStructure DynamicStructureFromJsonText(std::string_view utf8_text) {
    return DynamicStructureFromJson(parse_json_bounded(utf8_text));
}

DynamicStructure DynamicStructureFromYamlText(const std::string& text) {
    return DynamicStructureFromYaml(load_yaml_bounded(text));
}

std::wostream& WriteJson(std::wostream& out, const DynamicStructure& value) {
    // Kept on the stream for later output, as callers of this writer expect.
    out << std::fixed;
    out.precision(5);
    out << std::boolalpha;
    json_writer(out, false).value(value, 0);
    return out;
}

std::string WriteJsonUtf8(const DynamicStructure& value) {
    std::wostringstream out;
    json_writer(out, true).value(value, 0);
    // Every text went through the encodability check, so this cannot throw.
    return util::wstring_to_utf8(out.str());
}

}  // namespace kes
