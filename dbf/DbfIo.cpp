#include "dbf/DbfIo.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace corvanta::dbfio {

#ifdef _WIN32

namespace {
std::wstring wide(const std::string& utf8)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1)
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), n);
    return out;
}
HANDLE native(Handle h) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(h)); }
Handle wrap(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoHandle : static_cast<Handle>(reinterpret_cast<intptr_t>(h)); }
}  // namespace

Handle openFile(const std::string& path, OpenMode mode)
{
    const bool rw = mode == OpenMode::ReadWrite;
    // Read-write denies others writing; read-only shares everything.
    HANDLE h = CreateFileW(wide(path).c_str(), rw ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ,
                           rw ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return wrap(h);
}

Handle createFile(const std::string& path)
{
    return wrap(CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
}

void closeFile(Handle h)
{
    if (h >= 0)
        CloseHandle(native(h));
}

long long readAt(Handle h, std::uint64_t offset, void* buffer, std::size_t length)
{
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(native(h), buffer, static_cast<DWORD>(length), &got, &ov) && GetLastError() != ERROR_HANDLE_EOF)
        return -1;
    return got;
}

long long writeAt(Handle h, std::uint64_t offset, const void* buffer, std::size_t length)
{
    OVERLAPPED ov{};
    ov.Offset = static_cast<DWORD>(offset);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD put = 0;
    if (!WriteFile(native(h), buffer, static_cast<DWORD>(length), &put, &ov))
        return put > 0 ? static_cast<long long>(put) : -1;
    return put;
}

bool exists(const std::string& path)
{
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isDirectory(const std::string& path)
{
    DWORD a = GetFileAttributesW(wide(path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool removeFile(const std::string& path)
{
    SetFileAttributesW(wide(path).c_str(), FILE_ATTRIBUTE_ARCHIVE);
    return DeleteFileW(wide(path).c_str()) != 0;
}

int lastError()
{
    return static_cast<int>(GetLastError());
}

#else

namespace {
// Open-file-description locks conflict between two opens of the same file even inside one
// process, as the Windows sharing modes do; plain POSIX locks would not.
#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
#else
constexpr int kSetLock = F_SETLK;
#endif
}  // namespace

Handle openFile(const std::string& path, OpenMode mode)
{
    const bool rw = mode == OpenMode::ReadWrite;
    int fd = ::open(path.c_str(), (rw ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        return kNoHandle;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int saved = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        errno = saved;
        return kNoHandle;
    }
    if (rw) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0;
        lock.l_len = 0;
        lock.l_pid = 0;
        if (::fcntl(fd, kSetLock, &lock) != 0) {
            int saved = errno;
            ::close(fd);
            errno = saved;
            return kNoHandle;
        }
    }
    return fd;
}

Handle createFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd < 0 ? kNoHandle : fd;
}

void closeFile(Handle h)
{
    if (h >= 0)
        ::close(static_cast<int>(h));
}

long long readAt(Handle h, std::uint64_t offset, void* buffer, std::size_t length)
{
    std::size_t done = 0;
    auto* p = static_cast<char*>(buffer);
    while (done < length) {
        ssize_t n = ::pread(static_cast<int>(h), p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? static_cast<long long>(done) : -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

long long writeAt(Handle h, std::uint64_t offset, const void* buffer, std::size_t length)
{
    std::size_t done = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (done < length) {
        ssize_t n = ::pwrite(static_cast<int>(h), p + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? static_cast<long long>(done) : -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool removeFile(const std::string& path)
{
    // Unix has no read-only attribute in the way: the folder's rights decide.
    return ::unlink(path.c_str()) == 0;
}

int lastError()
{
    return errno;
}

#endif

}  // namespace corvanta::dbfio
