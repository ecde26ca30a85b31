#include "persist/DataLib.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace norvane::persist {

namespace {

/// Makes the path's directory current and returns the file-name part.
std::string enterDirectory(const std::string& path)
{
    const std::ptrdiff_t slash = LastCharPos('/', path);
    if (slash == 0)
        return path;
    const std::string dir =
        slash == 1 ? std::string("/") : path.substr(0, static_cast<std::size_t>(slash - 1));
    if (::chdir(dir.c_str()) != 0) {
        const int err = errno;
        throw InOutError("Cannot change to directory \"" + dir + "\". " + std::strerror(err));
    }
    return path.substr(static_cast<std::size_t>(slash));
}

void syncDirectory()
{
    const int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

void SaveObject(const std::string& path, TBaseObject* object)
{
    const std::string name = enterDirectory(path);
    std::string temp = "." + name + ".XXXXXX";
    // mkstemp creates the file with mode 0600: it may hold passwords.
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        const int err = errno;
        throw FileCreateError("Cannot create file \"" + path + "\". " + std::strerror(err));
    }
    try {
        rtl::TFileStream file(fd, path);
        WriteObjectToStream(file, object);
        file.Flush();
        file.Close();
        if (::rename(temp.c_str(), name.c_str()) != 0) {
            const int err = errno;
            throw FileCreateError("Cannot create file \"" + path + "\". " + std::strerror(err));
        }
    } catch (...) {
        ::unlink(temp.c_str());
        throw;
    }
    syncDirectory();
}

std::unique_ptr<TBaseObject> LoadObject(const std::string& path)
{
    const std::string name = enterDirectory(path);
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st
    {
    };
    const int err = fd < 0 ? errno : (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR : 0);
    if (err != 0) {
        if (fd >= 0)
            ::close(fd);
        throw FileOpenError("Cannot open file \"" + path + "\". " + std::strerror(err));
    }
    rtl::TFileStream file(fd, path);
    try {
        return ReadObjectFromStream(file);
    } catch (const std::exception& e) {
        throw Error(std::string(kLoadErrorPrefix) + e.what());
    }
}

} // namespace norvane::persist
