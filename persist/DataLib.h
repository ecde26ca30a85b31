#pragma once
/// Object files: a whole object graph saved to and loaded from a file as an object stream.

#include "persist/VSClass.h"

#include <memory>
#include <string>
#include <string_view>

namespace norvane::persist {

/// The first line of every load error caused by the file's content ("cannot open the data
/// structure class file"), followed by CR, LF, LF and the reader's message.
inline constexpr std::string_view kLoadErrorPrefix =
    "\xE6\x89\x93\xE4\xB8\x8D\xE5\xBC\x80\xE6\x95\xB0\xE6\x8D\xAE\xE7\xBB\x93\xE6\x9E\x84"
    "\xE7\xB1\xBB\xE6\x96\x87\xE4\xBB\xB6\r\n\n";

/// Saves `object` (null: an empty root) to `path`. The stream goes to a temporary file in the
/// same directory, created readable by its owner only, which replaces `path` only once it
/// was written and flushed completely; a failure leaves an existing file untouched.
/// A path with a directory part makes that directory the current one.
void SaveObject(const std::string& path, TBaseObject* object);

/// Loads the root object stored in `path` (null when the stream holds no object). A file
/// that cannot be opened fails with the file-open error; content that cannot be read fails
/// with `kLoadErrorPrefix` and the reader's message. A path with a directory part makes that
/// directory the current one.
std::unique_ptr<TBaseObject> LoadObject(const std::string& path);

} // namespace norvane::persist
