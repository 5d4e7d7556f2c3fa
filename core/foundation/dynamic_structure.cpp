#include "core/foundation/dynamic_structure.h"

#include "core/foundation/text.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace kes {

void TriggerErrorIf(bool condition, const char*, int, const char* format, ...) {
    if (!condition) return;
    // Kept for a debugger looking at the core dump.
    char buffer[4096] = {};
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // Reported as a failed assertion, but not through assert(): the check
    // must hold in release builds too.
    std::fprintf(stderr, "%s: kes_error:43: TriggerErrorIf: Assertion `%s' failed.\n", program_invocation_short_name,
                 "0 && buffer && \"Error Condition Failed\"");
    std::abort();
}

namespace {

const DynamicStructure& constant_nil() {
    static const DynamicStructure value;
    return value;
}

// One per thread, so a missed lookup on one thread cannot disturb another's.
DynamicStructure& scratch_nil() {
    thread_local DynamicStructure value;
    value.Reset();
    return value;
}

const std::wstring& empty_text() {
    static const std::wstring value;
    return value;
}
const std::wstring& true_text() {
    static const std::wstring value = L"true";
    return value;
}
const std::wstring& false_text() {
    static const std::wstring value = L"false";
    return value;
}

std::string name_for_message(const std::wstring& name) { return util::wstring_to_utf8_lossy(name); }

std::int64_t float_to_integer(float value) {
    // Truncation toward zero; values a 64-bit integer cannot hold saturate.
    if (std::isnan(value)) return 0;
    if (value >= 9.2233720368547758e18f) return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2233720368547758e18f) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

}  // namespace

DynamicStructure::DynamicStructure(std::int32_t value) { payload_.emplace<IntegerType>(value); }
DynamicStructure::DynamicStructure(std::int64_t value) { payload_.emplace<IntegerType>(value); }
DynamicStructure::DynamicStructure(float value) { payload_.emplace<FloatType>(value); }
DynamicStructure::DynamicStructure(bool value) { payload_.emplace<BooleanType>(value); }
DynamicStructure::DynamicStructure(const std::wstring& value) { payload_.emplace<StringType>(value); }
DynamicStructure::DynamicStructure(const wchar_t* value) {
    payload_.emplace<StringType>(value ? value : L"");
}
DynamicStructure::DynamicStructure(const char* bytes) {
    payload_.emplace<StringType>(util::widen(bytes ? bytes : ""));
}

DynamicStructure::DynamicStructure(
    std::initializer_list<std::pair<const std::wstring, DynamicStructure>> members) {
    for (const auto& member : members) AddMember(member.first, member.second);
}

DynamicStructure::DynamicStructure(const DynamicStructure& other) = default;

DynamicStructure& DynamicStructure::operator=(const DynamicStructure& other) {
    if (this != &other) {
        // Copy first: `other` may live inside our own payload.
        payload copy = other.payload_;
        payload_ = std::move(copy);
    }
    return *this;
}

// Moves swap through an empty payload, so the source is left Nil.
DynamicStructure::DynamicStructure(DynamicStructure&& other) noexcept { payload_.swap(other.payload_); }

DynamicStructure& DynamicStructure::operator=(DynamicStructure&& other) noexcept {
    if (this != &other) {
        payload taken;
        taken.swap(other.payload_);
        payload_.swap(taken);
    }
    return *this;
}

void DynamicStructure::Reset() { payload_.emplace<NilType>(); }

// ---- typed reads

std::int64_t DynamicStructure::AsInteger(bool allowImplicit) const {
    switch (GetType()) {
        case IntegerType: return std::get<IntegerType>(payload_);
        case NilType: break;
        case FloatType: if (allowImplicit) return float_to_integer(std::get<FloatType>(payload_)); break;
        case BooleanType: if (allowImplicit) return std::get<BooleanType>(payload_) ? 1 : 0; break;
        case StringType: if (allowImplicit) return ParseInteger(std::get<StringType>(payload_)); break;
        case ArrayType:
        case StructureType:
            TriggerErrorIf(allowImplicit, __FILE__, __LINE__, "Cannot convert this type(%d) to an integer.\n",
                           static_cast<int>(GetType()));
            break;
    }
    TriggerErrorIf(!allowImplicit, __FILE__, __LINE__,
                   "This is not an IntegerType, type-safety required without implicit conversion.");
    return 0;
}

float DynamicStructure::AsFloat(bool allowImplicit) const {
    switch (GetType()) {
        case FloatType: return std::get<FloatType>(payload_);
        case NilType: break;
        case IntegerType:
            if (allowImplicit) return static_cast<float>(std::get<IntegerType>(payload_));
            break;
        case BooleanType: if (allowImplicit) return std::get<BooleanType>(payload_) ? 1.0f : 0.0f; break;
        case StringType: if (allowImplicit) return ParseFloat(std::get<StringType>(payload_)); break;
        case ArrayType:
        case StructureType:
            TriggerErrorIf(allowImplicit, __FILE__, __LINE__, "Cannot convert this type(%d) to a float.\n",
                           static_cast<int>(GetType()));
            break;
    }
    TriggerErrorIf(!allowImplicit, __FILE__, __LINE__,
                   "This is not an FloatType, type-safety required without implicit conversion.\n");
    return 0.0f;
}

bool DynamicStructure::AsBoolean(bool allowImplicit) const {
    switch (GetType()) {
        case BooleanType: return std::get<BooleanType>(payload_);
        case NilType: break;
        case IntegerType: if (allowImplicit) return std::get<IntegerType>(payload_) != 0; break;
        case FloatType:
            if (allowImplicit) {
                const float value = std::get<FloatType>(payload_);
                return !(value > -0.00001f && value < 0.00001f);
            }
            break;
        case StringType:
            if (allowImplicit) {
                const std::wstring& text = std::get<StringType>(payload_);
                return text == L"1" || text == true_text();
            }
            break;
        case ArrayType:
        case StructureType:
            TriggerErrorIf(allowImplicit, __FILE__, __LINE__, "Cannot convert this type(%d) to a boolean.\n",
                           static_cast<int>(GetType()));
            break;
    }
    TriggerErrorIf(!allowImplicit, __FILE__, __LINE__,
                   "This is not an BooleanType, type-safety required without implicit conversion.\n");
    return false;
}

std::wstring DynamicStructure::AsString(bool allowImplicit) const {
    switch (GetType()) {
        case StringType: return std::get<StringType>(payload_);
        case NilType: break;
        case IntegerType:
            if (allowImplicit) {
                std::wostringstream out;
                out << std::get<IntegerType>(payload_);
                return out.str();
            }
            break;
        case FloatType:
            if (allowImplicit) {
                std::wostringstream out;
                out << std::get<FloatType>(payload_);
                return out.str();
            }
            break;
        case BooleanType:
            if (allowImplicit) return std::get<BooleanType>(payload_) ? true_text() : false_text();
            break;
        case ArrayType:
        case StructureType:
            TriggerErrorIf(allowImplicit, __FILE__, __LINE__, "Cannot convert this type(%d) to a string.\n",
                           static_cast<int>(GetType()));
            break;
    }
    TriggerErrorIf(!allowImplicit, __FILE__, __LINE__,
                   "This is not an StringType, type-safety required without implicit conversion.\n");
    return empty_text();
}

std::int64_t DynamicStructure::AsInteger(std::int64_t fallback, bool allowImplicit) const {
    if (IsNil() || (!IsInteger() && !allowImplicit)) return fallback;
    return AsInteger(allowImplicit);
}

float DynamicStructure::AsFloat(float fallback, bool allowImplicit) const {
    if (IsNil() || (!IsFloat() && !allowImplicit)) return fallback;
    return AsFloat(allowImplicit);
}

bool DynamicStructure::AsBoolean(bool fallback, bool allowImplicit) const {
    if (IsNil() || (!IsBoolean() && !allowImplicit)) return fallback;
    return AsBoolean(allowImplicit);
}

std::wstring DynamicStructure::AsString(const std::wstring& fallback, bool allowImplicit) const {
    if (IsNil() || (!IsString() && !allowImplicit)) return fallback;
    return AsString(allowImplicit);
}

// ---- typed writes

void DynamicStructure::SetInteger(std::int32_t value, bool force) {
    SetInteger(static_cast<std::int64_t>(value), force);
}

void DynamicStructure::SetInteger(std::int64_t value, bool force) {
    TriggerErrorIf(!force && !IsNil() && !IsInteger(), __FILE__, __LINE__,
                   "Expected NilType or IntegerType types in order to set a integer value.\n");
    payload_.emplace<IntegerType>(value);
}

void DynamicStructure::SetFloat(float value, bool force) {
    TriggerErrorIf(!force && !IsNil() && !IsFloat(), __FILE__, __LINE__,
                   "Expected NilType or FloatType types in order to set a float value.\n");
    payload_.emplace<FloatType>(value);
}

void DynamicStructure::SetBoolean(bool value, bool force) {
    TriggerErrorIf(!force && !IsNil() && !IsBoolean(), __FILE__, __LINE__,
                   "Expected NilType or BooleanType types in order to set a booelean value.\n");
    payload_.emplace<BooleanType>(value);
}

void DynamicStructure::SetString(const std::wstring& value, bool force) {
    TriggerErrorIf(!force && !IsNil() && !IsString(), __FILE__, __LINE__,
                   "Expected NilType or StringType types in order to set a string value.\n");
    std::wstring copy = value;  // `value` may be our own payload
    payload_.emplace<StringType>(std::move(copy));
}

// ---- arrays

DynamicStructure DynamicStructure::EmptyArray() {
    DynamicStructure empty;
    empty.payload_.emplace<ArrayType>();
    return empty;
}

DynamicStructure& DynamicStructure::PushBack(const DynamicStructure& value) {
    TriggerErrorIf(!IsNil() && !IsArray(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be NilType or ArrayType.");
    TriggerErrorIf(value.IsNil(), __FILE__, __LINE__, "Cannot push a Nil value into an array.\n");
    DynamicStructure copy = value;  // `value` may be one of our own elements
    if (IsNil()) payload_.emplace<ArrayType>();
    array().push_back(std::move(copy));
    return array().back();
}

const DynamicStructure& DynamicStructure::operator[](std::size_t index) const {
    TriggerErrorIf(!IsArray(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be an ArrayType.\n");
    TriggerErrorIf(index >= array().size(), __FILE__, __LINE__,
                   "tbExternalError: Expected index to be in bounds of array size.\n");
    return array()[index];
}

DynamicStructure& DynamicStructure::operator[](std::size_t index) {
    const auto& self = *this;
    return const_cast<DynamicStructure&>(self[index]);
}

const DynamicStructure& DynamicStructure::operator[](int index) const {
    TriggerErrorIf(index < 0, __FILE__, __LINE__, "tbExternalError: Expected index to be in bounds of array size.\n");
    return (*this)[static_cast<std::size_t>(index)];
}

DynamicStructure& DynamicStructure::operator[](int index) {
    TriggerErrorIf(index < 0, __FILE__, __LINE__, "tbExternalError: Expected index to be in bounds of array size.\n");
    return (*this)[static_cast<std::size_t>(index)];
}

// ---- structures

DynamicStructure& DynamicStructure::AddMember(const std::wstring& name, const DynamicStructure& value) {
    TriggerErrorIf(!IsNil() && !IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be NilType or StructureType.");
    TriggerErrorIf(IsStructure() && structure().count(name) != 0, __FILE__, __LINE__,
                   "tbExternalError: Expected not to find a member with name \"%s\" already existing.",
                   name_for_message(name).c_str());
    DynamicStructure copy = value;
    if (IsNil()) payload_.emplace<StructureType>();
    return structure().emplace(name, std::move(copy)).first->second;
}

DynamicStructure& DynamicStructure::SetMember(const std::wstring& name, const DynamicStructure& value) {
    TriggerErrorIf(!IsNil() && !IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be NilType or StructureType.");
    DynamicStructure copy = value;
    if (IsNil()) payload_.emplace<StructureType>();
    DynamicStructure& slot = structure()[name];
    slot = std::move(copy);
    return slot;
}

const DynamicStructure& DynamicStructure::GetMember(const std::wstring& name) const {
    if (IsNil()) return constant_nil();
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__,
                   "Expected this DynamicStructure to be an StructureType or a NilType.");
    const auto found = structure().find(name);
    return found == structure().end() ? constant_nil() : found->second;
}

const DynamicStructure& DynamicStructure::GetMember(const wchar_t* name) const {
    return GetMember(std::wstring(name ? name : L""));
}

DynamicStructure& DynamicStructure::GetMember(const std::wstring& name) {
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__, "Expected this DynamicStructure to be a StructureType.");
    const auto found = structure().find(name);
    return found == structure().end() ? scratch_nil() : found->second;
}

DynamicStructure& DynamicStructure::GetMember(const wchar_t* name) {
    return GetMember(std::wstring(name ? name : L""));
}

DynamicStructure& DynamicStructure::operator[](const std::wstring& name) { return GetMember(name); }

DynamicStructure& DynamicStructure::operator[](const wchar_t* name) { return GetMember(name); }

bool DynamicStructure::HasMember(const std::wstring& name) const {
    return IsStructure() && structure().count(name) != 0;
}

DynamicStructure::iterator DynamicStructure::begin() {
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be a StructureType.\n");
    return structure().begin();
}

DynamicStructure::iterator DynamicStructure::end() {
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be a StructureType.\n");
    return structure().end();
}

DynamicStructure::const_iterator DynamicStructure::begin() const {
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be a StructureType.\n");
    return structure().begin();
}

DynamicStructure::const_iterator DynamicStructure::end() const {
    TriggerErrorIf(!IsStructure(), __FILE__, __LINE__,
                   "tbExternalError: Expected this DynamicStructure to be a StructureType.\n");
    return structure().end();
}

// ---- other operations

std::size_t DynamicStructure::Size() const {
    if (IsArray()) return array().size();
    if (IsStructure()) return structure().size();
    return 0;
}

std::int64_t DynamicStructure::ParseInteger(const std::wstring& text) {
    TriggerErrorIf(text.empty(), __FILE__, __LINE__,
                   "Invalid value for parameter: input, expected valid, non-empty, string.");
    std::wistringstream in(text);
    std::int64_t value = 0;
    if (!(in >> value)) return 0;
    return value;
}

float DynamicStructure::ParseFloat(const std::wstring& text) {
    TriggerErrorIf(text.empty(), __FILE__, __LINE__,
                   "Invalid value for parameter: input, expected valid, non-empty, string.");
    std::wistringstream in(text);
    float value = 0.0f;
    if (!(in >> value)) return 0.0f;
    return value;
}

bool DynamicStructure::operator==(const DynamicStructure& other) const {
    if (GetType() != other.GetType()) return false;
    switch (GetType()) {
        case NilType: return true;
        case IntegerType: return std::get<IntegerType>(payload_) == std::get<IntegerType>(other.payload_);
        case FloatType:
            return std::fabs(static_cast<double>(std::get<FloatType>(payload_)) -
                             static_cast<double>(std::get<FloatType>(other.payload_))) <= 0.00001;
        case BooleanType: return std::get<BooleanType>(payload_) == std::get<BooleanType>(other.payload_);
        case StringType: return std::get<StringType>(payload_) == std::get<StringType>(other.payload_);
        case ArrayType:
        case StructureType: break;
    }
    TriggerErrorIf(true, __FILE__, __LINE__, "Cannot test equality for this type(%d).\n",
                   static_cast<int>(GetType()));
    return false;
}

bool DynamicStructure::operator!=(const DynamicStructure& other) const {
    if (GetType() != other.GetType()) return true;
    TriggerErrorIf(IsArray() || IsStructure(), __FILE__, __LINE__, "Cannot test inequality for this type(%d).\n",
                   static_cast<int>(GetType()));
    return !(*this == other);
}

}  // namespace kes
