#pragma once
/// Text and path utilities shared by the persistence library and the application.
///
/// Positions are 1-based byte indices, as in the rest of the library: position 1 is the first
/// byte, a position greater than the length is past the end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace norvane::persist {

/// Position of the first `delimiter` at or after `start` that lies outside literal runs
/// (quoted strings joined with '#' codes and '^' control characters); past the end if none.
std::ptrdiff_t FindDelimiter(std::string_view text, std::string_view delimiter,
                             std::ptrdiff_t start);
/// Position just past the literal run that begins at `pos`.
std::ptrdiff_t SkipLiteral(std::string_view text, std::ptrdiff_t pos);
/// Position just past a (signed, optionally '$'-hexadecimal) digit run at `pos`, or `pos`.
std::ptrdiff_t ScanDigits(std::string_view text, std::ptrdiff_t pos);
/// Number of delimiter-separated fields; literal runs hide delimiters. Throws on an empty
/// delimiter, which would match everywhere.
std::ptrdiff_t FieldCount(std::string_view text, std::string_view delimiter);
/// The field at a 0-based index (a negative index gives field 0, one past the last field the
/// last field); quotes are kept.
std::string GetField(std::string_view text, std::string_view delimiter, std::ptrdiff_t index);
/// Position of the last occurrence of `c`, 0 when it does not occur.
std::ptrdiff_t LastCharPos(char c, std::string_view text);
/// Directory of the running executable, ending in '/'.
std::string ExeDir();

/// Heap texts: NUL-terminated buffers allocated with new[]; null counts as the empty text.
std::size_t SafeStrLen(const char* text);
/// Copies `text` with its NUL into `dest`, which must be large enough; null stores "".
void SafeStrCopy(char* dest, const char* text);
/// Replaces `*text` by a new heap text holding the old one followed by `parts`.
char* StrAppend(char*& text, std::initializer_list<std::string_view> parts);
/// Releases a heap text and nulls the reference.
void StrDispose(char*& text);

/// Destroys an owned object and nulls the reference; a null reference is left alone.
template <class T> void FreeObj(T*& object)
{
    T* old = object;
    object = nullptr;
    delete old;
}

/// Case-insensitive equality of UTF-8 texts; letters of Latin-1, Latin Extended-A, Greek and
/// Cyrillic fold to lower case, other code points (and invalid bytes) compare exactly.
bool SameText(std::string_view a, std::string_view b);
/// Case-insensitive equality for the letters A-Z only, as names in streams and the class
/// registry compare.
bool SameName(std::string_view a, std::string_view b);
/// The simple lower-case form of a Unicode code point for the scripts `SameText` covers.
char32_t FoldCase(char32_t c);

/// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
/// True when every byte is below 0x80.
bool IsAscii(std::string_view text);
/// Windows-1252 bytes as UTF-8 (the five unassigned bytes map to the C1 code points).
std::string Cp1252ToUtf8(std::string_view text);
/// UTF-16LE code units as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
/// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t c);

} // namespace norvane::persist
