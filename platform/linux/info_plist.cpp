#include "platform/info_plist.h"

#include "core/foundation/files/read_file.h"
#include "core/foundation/files/replace_file.h"

#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {
namespace {

void append_utf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// "&#65;" / "&#x41;" -> the code point, when it is one XML allows.
std::optional<unsigned long> character_reference(const std::string& body) {
    if (body.size() < 2 || body[0] != '#') return std::nullopt;
    const bool hex = body[1] == 'x';
    const std::string digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    char* end = nullptr;
    const unsigned long code = std::strtoul(digits.c_str(), &end, hex ? 16 : 10);
    if (*end != '\0' || digits[0] == '-' || digits[0] == '+') return std::nullopt;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
    return code;
}

// Character data with the predefined entities and character references undone;
// anything unknown stays as written.
std::string xml_unescape(const std::string& text) {
    static const std::pair<const char*, char> entities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto semicolon = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (semicolon != std::string::npos && semicolon - i <= 12) {
            const std::string body = text.substr(i + 1, semicolon - i - 1);
            std::optional<char> named;
            for (const auto& [name, character] : entities) {
                if (body == name) named = character;
            }
            if (named) {
                out += *named;
                i = semicolon + 1;
                continue;
            }
            if (const auto code = character_reference(body)) {
                append_utf8(out, *code);
                i = semicolon + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// A forward-only reader of the few XML forms a property list uses: elements
// without attributes that matter, character data, comments, processing
// instructions, a document type declaration and CDATA sections.
class plist_reader {
public:
    explicit plist_reader(const std::string& text) : text_(text) {}

    struct tag {
        enum class kind { open, close, empty } type;
        std::string name;
        std::size_t begin = 0;  // offset of its '<'
        std::size_t end = 0;    // one past its '>'
    };

    // Where reading goes on: one past the last tag or text taken.
    std::size_t position() const { return pos_; }

    // The next tag, skipping character data, comments and declarations;
    // nullopt at the end or on a malformed construct.
    std::optional<tag> next_tag() {
        while (true) {
            const auto open = text_.find('<', pos_);
            if (open == std::string::npos) return std::nullopt;
            pos_ = open;
            if (skip_markup_declaration()) continue;
            if (broken_) return std::nullopt;
            return read_tag();
        }
    }

    // The character data of the element just opened as `name`, up to its
    // closing tag; nullopt when a child element stands inside.
    std::optional<std::string> element_text(const std::string& name) {
        std::string raw;
        while (true) {
            const auto open = text_.find('<', pos_);
            if (open == std::string::npos) return std::nullopt;
            std::string data = xml_unescape(text_.substr(pos_, open - pos_));
            raw += data;
            pos_ = open;
            if (text_.compare(pos_, 9, "<![CDATA[") == 0) {
                const auto end = text_.find("]]>", pos_ + 9);
                if (end == std::string::npos) return std::nullopt;
                raw += text_.substr(pos_ + 9, end - pos_ - 9);
                pos_ = end + 3;
                continue;
            }
            if (text_.compare(pos_, 4, "<!--") == 0) {
                if (!skip_past("-->")) return std::nullopt;
                continue;
            }
            const auto closing = read_tag();
            if (!closing || closing->type != tag::kind::close || closing->name != name) return std::nullopt;
            return raw;
        }
    }

    // Skips what lies inside the element just opened as `name`.
    bool skip_element() {
        int depth = 1;
        while (depth > 0) {
            const auto next = next_tag();
            if (!next) return false;
            if (next->type == tag::kind::open) ++depth;
            if (next->type == tag::kind::close) --depth;
        }
        return true;
    }

private:
    bool skip_past(const char* terminator) {
        const auto end = text_.find(terminator, pos_);
        if (end == std::string::npos) {
            broken_ = true;
            pos_ = text_.size();
            return false;
        }
        pos_ = end + std::char_traits<char>::length(terminator);
        return true;
    }

    // Comments, "<?...?>", "<!DOCTYPE ...>" and stray CDATA: true when one
    // was skipped.
    bool skip_markup_declaration() {
        if (text_.compare(pos_, 4, "<!--") == 0) return skip_past("-->");
        if (text_.compare(pos_, 2, "<?") == 0) return skip_past("?>");
        if (text_.compare(pos_, 9, "<![CDATA[") == 0) return skip_past("]]>");
        if (text_.compare(pos_, 2, "<!") == 0) {
            // A declaration with an internal subset ends with "]>".
            const auto bracket = text_.find('[', pos_);
            const auto close = text_.find('>', pos_);
            if (bracket != std::string::npos && close != std::string::npos && bracket < close) {
                return skip_past("]>");
            }
            return skip_past(">");
        }
        return false;
    }

    std::optional<tag> read_tag() {
        std::size_t at = pos_ + 1;
        tag result{tag::kind::open, {}, pos_, 0};
        if (at < text_.size() && text_[at] == '/') {
            result.type = tag::kind::close;
            ++at;
        }
        const auto name_end = text_.find_first_of(" \t\r\n/>", at);
        if (name_end == std::string::npos || name_end == at) return fail();
        result.name = text_.substr(at, name_end - at);
        // Attributes may hold '>' inside quotes.
        char quote = 0;
        std::size_t end = name_end;
        for (; end < text_.size(); ++end) {
            const char c = text_[end];
            if (quote) {
                if (c == quote) quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        if (end >= text_.size()) return fail();
        if (text_[end - 1] == '/') {
            if (result.type == tag::kind::close) return fail();
            result.type = tag::kind::empty;
        }
        pos_ = end + 1;
        result.end = pos_;
        return result;
    }

    std::optional<tag> fail() {
        broken_ = true;
        pos_ = text_.size();
        return std::nullopt;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
    bool broken_ = false;
};

using tag_kind = plist_reader::tag::kind;

// The entries of the top-level dictionary; empty when the document is not a
// well-formed property list up to the end of that dictionary.
std::map<std::string, std::string> top_level_strings(const std::string& text) {
    plist_reader reader(text);
    auto next = reader.next_tag();
    if (next && next->type == tag_kind::open && next->name == "plist") next = reader.next_tag();
    if (!next || next->type != tag_kind::open || next->name != "dict") return {};

    std::map<std::string, std::string> entries;
    std::optional<std::string> key;
    while (true) {
        next = reader.next_tag();
        if (!next) return {};
        const bool is_open = next->type == tag_kind::open;
        if (next->type == tag_kind::close) {
            return next->name == "dict" ? entries : std::map<std::string, std::string>{};
        }
        if (next->name == "key") {
            if (key) return {};  // two keys in a row
            key = is_open ? reader.element_text("key") : std::string();
            if (!key) return {};
            continue;
        }
        if (!key) return {};  // a value without its key
        if (next->name == "string") {
            const auto value = is_open ? reader.element_text("string") : std::string();
            if (!value) return {};
            entries[*key] = *value;
        } else if (is_open && !reader.skip_element()) {
            return {};
        }
        key.reset();
    }
}

// Where a top-level entry's value lies in the text, and where a new entry
// would go (before the dictionary's end tag).
struct entry_place {
    std::optional<std::pair<std::size_t, std::size_t>> value;  // [begin, end) of the value element
    std::size_t dict_end = 0;
};

std::optional<entry_place> find_top_level_entry(const std::string& text, const std::string& wanted) {
    plist_reader reader(text);
    auto next = reader.next_tag();
    if (next && next->type == tag_kind::open && next->name == "plist") next = reader.next_tag();
    if (!next || next->type != tag_kind::open || next->name != "dict") return std::nullopt;

    entry_place place;
    std::optional<std::string> key;
    while (true) {
        next = reader.next_tag();
        if (!next) return std::nullopt;
        if (next->type == tag_kind::close) {
            if (next->name != "dict") return std::nullopt;
            place.dict_end = next->begin;
            return place;
        }
        const bool is_open = next->type == tag_kind::open;
        if (next->name == "key") {
            if (key) return std::nullopt;
            key = is_open ? reader.element_text("key") : std::string();
            if (!key) return std::nullopt;
            continue;
        }
        if (!key) return std::nullopt;
        const std::size_t begin = next->begin;
        if (is_open && !reader.skip_element()) return std::nullopt;
        if (*key == wanted) place.value = std::make_pair(begin, reader.position());
        key.reset();
    }
}

std::string xml_escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

bool set_info_plist_string(const std::string& plist_path, const std::string& key, const std::string& value) {
    struct stat info {};
    if (::stat(plist_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const std::optional<std::string> text = kes::fs::read_small_regular_file(plist_path, max_info_plist_size);
    if (!text) return false;
    const std::optional<entry_place> place = find_top_level_entry(*text, key);
    if (!place) return false;
    const std::string element = "<string>" + xml_escape(value) + "</string>";
    std::string edited = *text;
    if (place->value) {
        edited.replace(place->value->first, place->value->second - place->value->first, element);
    } else {
        edited.insert(place->dict_end, "\t<key>" + xml_escape(key) + "</key>\n\t" + element + "\n");
    }
    return kes::fs::replace_small_file(plist_path, edited, info.st_mode & 07777);
}

std::map<std::string, std::string> info_plist_strings(const std::string& plist_path) {
    const std::optional<std::string> text = kes::fs::read_small_regular_file(plist_path, max_info_plist_size);
    return text ? top_level_strings(*text) : std::map<std::string, std::string>{};
}

std::string info_plist_string(const std::string& plist_path, const std::string& key) {
    const auto entries = info_plist_strings(plist_path);
    const auto found = entries.find(key);
    return found == entries.end() ? std::string() : found->second;
}

}  // namespace platform
