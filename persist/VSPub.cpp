#include "persist/VSPub.h"

#include "persist/Error.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace norvane::persist {

namespace {

/// The byte at a 1-based position; the caller guarantees 1 <= pos <= size.
char at(std::string_view text, std::ptrdiff_t pos)
{
    return text[static_cast<std::size_t>(pos - 1)];
}

std::ptrdiff_t length(std::string_view text)
{
    return static_cast<std::ptrdiff_t>(text.size());
}

bool matchesAt(std::string_view text, std::string_view delimiter, std::ptrdiff_t pos)
{
    if (pos < 1 || pos - 1 + length(delimiter) > length(text))
        return false;
    return text.substr(static_cast<std::size_t>(pos - 1), delimiter.size()) == delimiter;
}

bool isDigit(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return true;
    return hex && ((c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'));
}

bool isControlLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

void requireDelimiter(std::string_view delimiter)
{
    // An empty delimiter matches at every position, so no scan would ever advance.
    if (delimiter.empty())
        throw Error("Empty field delimiter");
}

} // namespace

std::ptrdiff_t ScanDigits(std::string_view text, std::ptrdiff_t pos)
{
    const std::ptrdiff_t len = length(text);
    std::ptrdiff_t i = pos;
    if (i >= 1 && i <= len && (at(text, i) == '+' || at(text, i) == '-'))
        ++i;
    bool hex = false;
    if (i >= 1 && i < len && at(text, i) == '$') {
        ++i;
        hex = true;
    }
    if (i < 1 || i > len || !isDigit(at(text, i), hex))
        return pos;
    while (i <= len && isDigit(at(text, i), hex))
        ++i;
    return i;
}

std::ptrdiff_t SkipLiteral(std::string_view text, std::ptrdiff_t pos)
{
    const std::ptrdiff_t len = length(text);
    std::ptrdiff_t p = pos < 1 ? 1 : pos;
    while (p <= len) {
        const char c = at(text, p);
        if (c == '"' || c == '\'') {
            ++p;
            while (p <= len && at(text, p) != c)
                ++p;
            if (p <= len)
                ++p;
        } else if (c == '#') {
            const std::ptrdiff_t end = ScanDigits(text, p + 1);
            if (end <= p + 1)
                break;
            p = end;
        } else if (c == '^') {
            if (p + 1 > len || !isControlLetter(at(text, p + 1)))
                break;
            p += 2;
        } else {
            break;
        }
    }
    return p;
}

std::ptrdiff_t FindDelimiter(std::string_view text, std::string_view delimiter,
                             std::ptrdiff_t start)
{
    requireDelimiter(delimiter);
    const std::ptrdiff_t len = length(text);
    std::ptrdiff_t p = start < 1 ? 1 : start;
    while (p <= len && !matchesAt(text, delimiter, p)) {
        const char c = at(text, p);
        if (c == '"' || c == '\'')
            p = SkipLiteral(text, p);
        else
            ++p;
    }
    return p;
}

std::ptrdiff_t FieldCount(std::string_view text, std::string_view delimiter)
{
    requireDelimiter(delimiter);
    const std::ptrdiff_t step = length(delimiter);
    std::ptrdiff_t p = 1 - step;
    std::ptrdiff_t n = 0;
    while (p < length(text)) {
        p = FindDelimiter(text, delimiter, p + step);
        ++n;
    }
    return n;
}

std::string GetField(std::string_view text, std::string_view delimiter, std::ptrdiff_t index)
{
    requireDelimiter(delimiter);
    const std::ptrdiff_t step = length(delimiter);
    const std::ptrdiff_t len = length(text);
    std::ptrdiff_t p = 1 - step;
    std::ptrdiff_t s = 1;
    do {
        s = p + step;
        p = FindDelimiter(text, delimiter, s);
        --index;
    } while (index >= 0 && p <= len);
    const std::ptrdiff_t end = p > len ? len + 1 : p;
    if (s > len)
        return {};
    return std::string(
        text.substr(static_cast<std::size_t>(s - 1), static_cast<std::size_t>(end - s)));
}

std::ptrdiff_t LastCharPos(char c, std::string_view text)
{
    for (std::ptrdiff_t p = length(text); p >= 1; --p) {
        if (at(text, p) == c)
            return p;
    }
    return 0;
}

std::string ExeDir()
{
    std::vector<char> buf(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < buf.size()) {
            const std::string path(buf.data(), static_cast<std::size_t>(n));
            return path.substr(0, static_cast<std::size_t>(LastCharPos('/', path)));
        }
        buf.resize(buf.size() * 2);
    }
}

std::size_t SafeStrLen(const char* text)
{
    return text ? std::strlen(text) : 0;
}

void SafeStrCopy(char* dest, const char* text)
{
    if (text)
        std::memcpy(dest, text, std::strlen(text) + 1);
    else
        dest[0] = '\0';
}

char* StrAppend(char*& text, std::initializer_list<std::string_view> parts)
{
    std::size_t n = SafeStrLen(text);
    for (std::string_view part : parts)
        n += part.size();
    char* result = new char[n + 1];
    SafeStrCopy(result, text);
    std::size_t used = SafeStrLen(text);
    for (std::string_view part : parts) {
        if (!part.empty())
            std::memcpy(result + used, part.data(), part.size());
        used += part.size();
    }
    result[n] = '\0';
    // Released only now: a part may point into the old text.
    StrDispose(text);
    text = result;
    return result;
}

void StrDispose(char*& text)
{
    char* old = text;
    text = nullptr;
    delete[] old;
}

} // namespace norvane::persist
