#pragma once
// Every failure of a web-service call reaches its caller as one of these. The
// message is a text ready for the status line: a text-table text, or the
// service's own words for its result codes 1 to 5. Callers read `message`.

#include <exception>
#include <string>

namespace Kestrel::Network {

class Exception : public std::exception {
public:
    explicit Exception(std::wstring text);

    // The message as UTF-8, so that a handler that only knows std::exception
    // still logs something useful.
    const char* what() const noexcept override { return narrow_message_.c_str(); }

    std::wstring message;

protected:
    Exception(std::wstring text, const wchar_t* class_name);

private:
    std::string narrow_message_;
};

// The transport failed (libcurl result code not 0).
class CurlError : public Exception {
public:
    explicit CurlError(std::wstring text);
};

// The answer is not JSON, or a value is missing or of the wrong kind.
class ParseError : public Exception {
public:
    explicit ParseError(std::wstring text);
};

// Service result code 4: the account key is not (or no longer) valid.
class InvalidKey : public Exception {
public:
    explicit InvalidKey(std::wstring text);
};

// Service result code 5: sign-in needs the second-factor code.
class TwoFactorRequired : public Exception {
public:
    explicit TwoFactorRequired(std::wstring text);
};

// The HTTP status is not the one the endpoint answers with.
class UnexpectedHTTPCode : public Exception {
public:
    explicit UnexpectedHTTPCode(std::wstring text);
};

}  // namespace Kestrel::Network
