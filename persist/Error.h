#pragma once
/// The error hierarchy of Norvane: every failure the layers raise is a `norvane::Error`.

#include <stdexcept>
#include <string>

namespace norvane {

/// A failure carrying the message the user sees. Other layers derive their own kinds from it.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// An object stream that cannot be read: "Stream read error", "Invalid stream format",
/// "Invalid property value" and the like.
class ReadError : public Error
{
public:
    using Error::Error;
};

/// A stream that refuses data while an object is written.
class WriteError : public Error
{
public:
    using Error::Error;
};

/// A class name that the class registry does not know: "Class %s not found".
class ClassNotFoundError : public Error
{
public:
    using Error::Error;
};

/// Class registration conflicts: "A class named %s already exists".
class FilerError : public Error
{
public:
    using Error::Error;
};

/// An object that cannot be copied into another: "Cannot assign a %s to a %s".
class ConversionError : public Error
{
public:
    using Error::Error;
};

/// An index outside a list: "List index out of bounds (%d)".
class ListIndexError : public Error
{
public:
    using Error::Error;
};

/// A file that cannot be created; the message names the full path and the system's reason.
class FileCreateError : public Error
{
public:
    using Error::Error;
};

/// A file that cannot be opened; the message names the full path and the system's reason.
class FileOpenError : public Error
{
public:
    using Error::Error;
};

/// A failing operating-system call on files or directories (seek, resize, change directory).
class InOutError : public Error
{
public:
    using Error::Error;
};

} // namespace norvane
