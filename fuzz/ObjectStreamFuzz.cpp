// Feeds arbitrary bytes to the object stream reader. Besides the sanitizers it checks that
//  - a small reader buffer gives the same outcome as the default one (buffer refills and the
//    look-ahead of nested object names), and
//  - whatever was read writes out, reads back and writes out again to the same bytes.

#include "TestClasses.h"

#include "persist/VSClass.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace norvane::persist;

namespace {

struct Outcome
{
    bool ok = false;
    std::string error;
    std::vector<std::uint8_t> rewritten;
    bool rewriteFailed = false;
};

Outcome readWith(const std::vector<std::uint8_t>& input, std::size_t bufferSize)
{
    Outcome outcome;
    TMemoryStream stream(input);
    std::unique_ptr<TBaseObject> object;
    try {
        TObjReader reader(stream, bufferSize);
        reader.ReadSignature();
        object = reader.ReadObjectOrNil();
        outcome.ok = true;
    } catch (const norvane::Error& e) {
        outcome.error = e.what();
        return outcome;
    }
    try {
        TMemoryStream out;
        WriteObjectToStream(out, object.get());
        outcome.rewritten = out.Bytes();
    } catch (const norvane::Error&) {
        // A graph read from odd input may not be writable (a count beyond its entries).
        outcome.rewriteFailed = true;
    }
    return outcome;
}

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "object_stream_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> input(data, data + size);
    const Outcome normal = readWith(input, 4096);
    const Outcome small = readWith(input, 7);
    if (normal.ok != small.ok || normal.error != small.error || normal.rewritten != small.rewritten)
        finding("the reader's buffer size changed the outcome");
    if (!normal.ok || normal.rewriteFailed)
        return 0;
    const Outcome again = readWith(normal.rewritten, 4096);
    if (!again.ok)
        finding("a written stream could not be read back");
    if (again.rewritten != normal.rewritten)
        finding("writing what was read is not stable");
    return 0;
}
