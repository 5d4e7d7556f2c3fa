#pragma once
// The one variant value of the agent: settings, service answers and the
// browser-support table are trees of it. Value semantics (copies are deep).
// Accessors check the kind they are used on; a broken kind assumption in our
// own code is a programming error and stops the process through
// TriggerErrorIf, in every build type. Callers that handle untrusted input
// test the kind (IsString, ...) or the size first.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace kes {

// Stops the process when `condition` holds. The message is formatted into a
// buffer for a debugger and is not written anywhere. `file` and `line` name
// the caller and are not reported.
void TriggerErrorIf(bool condition, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

class DynamicStructure {
public:
    // The numbers are reported in fatal messages ("type(%d)") and must stay.
    enum Type : int {
        NilType = 0,
        IntegerType = 1,
        FloatType = 2,
        BooleanType = 3,
        StringType = 4,
        ArrayType = 5,
        StructureType = 6,
    };
    using Array = std::vector<DynamicStructure>;
    using Structure = std::unordered_map<std::wstring, DynamicStructure>;
    using iterator = Structure::iterator;
    using const_iterator = Structure::const_iterator;

    DynamicStructure() = default;
    DynamicStructure(std::int32_t value);
    DynamicStructure(std::int64_t value);
    DynamicStructure(float value);
    DynamicStructure(bool value);
    DynamicStructure(const std::wstring& value);
    DynamicStructure(const wchar_t* value);
    // Each byte becomes the character of the same code (no UTF-8 decoding).
    DynamicStructure(const char* bytes);
    // Members added in order with AddMember; an empty list leaves Nil.
    DynamicStructure(std::initializer_list<std::pair<const std::wstring, DynamicStructure>> members);

    DynamicStructure(const DynamicStructure& other);
    DynamicStructure& operator=(const DynamicStructure& other);
    DynamicStructure(DynamicStructure&& other) noexcept;
    DynamicStructure& operator=(DynamicStructure&& other) noexcept;
    ~DynamicStructure() = default;

    void Reset();
    Type GetType() const { return static_cast<Type>(payload_.index()); }

    bool IsNil() const { return GetType() == NilType; }
    bool IsInteger() const { return GetType() == IntegerType; }
    bool IsFloat() const { return GetType() == FloatType; }
    bool IsBoolean() const { return GetType() == BooleanType; }
    bool IsString() const { return GetType() == StringType; }
    bool IsArray() const { return GetType() == ArrayType; }
    bool IsStructure() const { return GetType() == StructureType; }

    // Typed reads: the own kind's value; another kind is fatal unless
    // `allowImplicit`, which converts (arrays and structures never convert).
    std::int64_t AsInteger(bool allowImplicit) const;
    float AsFloat(bool allowImplicit) const;
    bool AsBoolean(bool allowImplicit) const;
    std::wstring AsString(bool allowImplicit) const;
    // With a default: `fallback` for Nil, or for another kind without
    // `allowImplicit`; never fatal on a kind mismatch.
    std::int64_t AsInteger(std::int64_t fallback, bool allowImplicit) const;
    float AsFloat(float fallback, bool allowImplicit) const;
    bool AsBoolean(bool fallback, bool allowImplicit) const;
    std::wstring AsString(const std::wstring& fallback, bool allowImplicit) const;

    // Typed writes: the value must be Nil or of the write's kind unless `force`.
    void SetInteger(std::int32_t value, bool force);
    void SetInteger(std::int64_t value, bool force);
    void SetFloat(float value, bool force);
    void SetBoolean(bool value, bool force);
    void SetString(const std::wstring& value, bool force);

    // An array without elements (reading never makes one: an empty JSON
    // array reads as Nil), for writers that must say "empty list".
    static DynamicStructure EmptyArray();
    // Arrays never hold Nil. A Nil target becomes an empty array first.
    DynamicStructure& PushBack(const DynamicStructure& value);
    const DynamicStructure& operator[](std::size_t index) const;
    DynamicStructure& operator[](std::size_t index);
    // So that a literal 0 does not read as a member name; negative is out of bounds.
    const DynamicStructure& operator[](int index) const;
    DynamicStructure& operator[](int index);

    // A Nil target becomes an empty structure first. AddMember refuses a name
    // that exists; SetMember overwrites it.
    DynamicStructure& AddMember(const std::wstring& name, const DynamicStructure& value);
    DynamicStructure& SetMember(const std::wstring& name, const DynamicStructure& value);
    // Constant lookup: Nil for a missing member or on a Nil value.
    const DynamicStructure& GetMember(const std::wstring& name) const;
    const DynamicStructure& GetMember(const wchar_t* name) const;
    // Modifiable lookup on a structure: a missing member yields a shared
    // scratch Nil, valid until the next missed lookup. Never inserts.
    DynamicStructure& GetMember(const std::wstring& name);
    DynamicStructure& GetMember(const wchar_t* name);
    DynamicStructure& operator[](const std::wstring& name);
    DynamicStructure& operator[](const wchar_t* name);
    // True when a structure has the member, whatever its value (Nil included);
    // false on every other kind.
    bool HasMember(const std::wstring& name) const;

    iterator begin();
    iterator end();
    const_iterator begin() const;
    const_iterator end() const;

    // Elements of an array, members of a structure, 0 otherwise.
    std::size_t Size() const;

    // The number at the start of the text as a wide stream reads it; 0 when
    // it does not begin with one. An empty text is fatal.
    static std::int64_t ParseInteger(const std::wstring& text);
    static float ParseFloat(const std::wstring& text);

    // Different kinds are unequal; floats compare within 1e-5; arrays and
    // structures cannot be compared (fatal).
    bool operator==(const DynamicStructure& other) const;
    bool operator!=(const DynamicStructure& other) const;

private:
    // The payload of arrays and structures lives behind a pointer so the
    // value stays small; copies are deep.
    template <class T>
    class owned {
    public:
        owned() : value_(std::make_unique<T>()) {}
        explicit owned(T value) : value_(std::make_unique<T>(std::move(value))) {}
        owned(const owned& other) : value_(std::make_unique<T>(*other.value_)) {}
        owned& operator=(const owned& other) {
            if (this != &other) value_ = std::make_unique<T>(*other.value_);
            return *this;
        }
        owned(owned&&) noexcept = default;
        owned& operator=(owned&&) noexcept = default;
        T& get() { return *value_; }
        const T& get() const { return *value_; }

    private:
        std::unique_ptr<T> value_;
    };

    // The alternatives' order is the Type numbering.
    using payload = std::variant<std::monostate, std::int64_t, float, bool, std::wstring, owned<Array>,
                                 owned<Structure>>;

    Array& array() { return std::get<owned<Array>>(payload_).get(); }
    const Array& array() const { return std::get<owned<Array>>(payload_).get(); }
    Structure& structure() { return std::get<owned<Structure>>(payload_).get(); }
    const Structure& structure() const { return std::get<owned<Structure>>(payload_).get(); }

    payload payload_;
};

}  // namespace kes
