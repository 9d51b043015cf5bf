// Files for the native build: kernel32's file calls over POSIX descriptors.
// What the stand-in keeps of kernel32 is what the file classes rely on: the
// access, share and disposition rules of CreateFile, the 32-bit file pointer
// results, and short writes reported as failures.
#include "platform/HandleTable.h"
#include "platform/Win32TestDouble.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FileObject : public KernelObject {
  public:
    FileObject(int fd, DWORD access, DWORD share, const struct stat& st)
        : fd(fd), access(access), share(share), device(st.st_dev), inode(st.st_ino) {}
    ~FileObject() override { ::close(fd); }

    bool SameFile(const FileObject& other) const {
        return device == other.device && inode == other.inode;
    }

    const int fd;
    const DWORD access;
    const DWORD share;
    const dev_t device;
    const ino_t inode;
};

std::atomic<std::int64_t> diskSpace{-1};
std::atomic<bool> readFault{false};

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG:
        return ERROR_INVALID_NAME;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_INVALID_PARAMETER;
    }
}

// kernel32 tells a missing file from a missing folder on the way to it.
DWORD NotFoundError(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0)
        return ERROR_FILE_NOT_FOUND;
    struct stat st;
    return ::stat(path.substr(0, slash).c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND
                                                           : ERROR_PATH_NOT_FOUND;
}

bool Reads(DWORD access) {
    return (access & GENERIC_READ) != 0;
}
bool Writes(DWORD access) {
    return (access & GENERIC_WRITE) != 0;
}

// Windows refuses an open when either side's share mode does not admit the
// other side's access. Handles opened for attributes only (access 0) never
// conflict.
bool ShareConflict(const FileObject& open, const FileObject& wanted) {
    if (!open.SameFile(wanted))
        return false;
    return (Reads(wanted.access) && !(open.share & FILE_SHARE_READ)) ||
           (Writes(wanted.access) && !(open.share & FILE_SHARE_WRITE)) ||
           (Reads(open.access) && !(wanted.share & FILE_SHARE_READ)) ||
           (Writes(open.access) && !(wanted.share & FILE_SHARE_WRITE));
}

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// The descriptor for a path that exists as a directory, or -1 with the error set.
int OpenDirectory(DWORD disposition, DWORD flags, const std::string& path) {
    if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || disposition == CREATE_ALWAYS ||
        disposition == TRUNCATE_EXISTING) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    if (disposition == CREATE_NEW) {
        SetLastError(ERROR_FILE_EXISTS);
        return -1;
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        SetLastError(ErrorFromErrno(errno));
    return fd;
}

// The open() flags for a regular file, or -1 when the arguments are refused.
int OpenFlags(DWORD access, DWORD disposition) {
    int flags = O_CLOEXEC;
    if (Reads(access) && Writes(access))
        flags |= O_RDWR;
    else if (Writes(access))
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    switch (disposition) {
    case CREATE_NEW:
        return flags | O_CREAT | O_EXCL;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        return flags | O_CREAT;
    case OPEN_EXISTING:
        return flags;
    case TRUNCATE_EXISTING:
        return Writes(access) ? flags : -1;
    default:
        return -1;
    }
}

int OpenRegularFile(DWORD access, DWORD disposition, const std::string& path, bool exists,
                    bool readOnly) {
    int flags = OpenFlags(access, disposition);
    if (flags < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    // The read-only attribute binds every user, a superuser too.
    bool changes = Writes(access) || disposition == CREATE_ALWAYS;
    if (exists && readOnly && changes) {
        SetLastError(ERROR_ACCESS_DENIED);
        return -1;
    }
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0)
        SetLastError(errno == ENOENT ? NotFoundError(path) : ErrorFromErrno(errno));
    return fd;
}

HANDLE CreateFileUtf8(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                      DWORD flags) {
    if (path.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    struct stat st;
    bool exists = ::stat(path.c_str(), &st) == 0;
    bool directory = exists && S_ISDIR(st.st_mode);
    int fd = directory ? OpenDirectory(disposition, flags, path)
                       : OpenRegularFile(access, disposition, path, exists,
                                         exists && (st.st_mode & 0222) == 0);
    if (fd < 0)
        return INVALID_HANDLE_VALUE;
    if (::fstat(fd, &st) != 0) {
        DWORD error = ErrorFromErrno(errno);
        ::close(fd);
        return Fail(error);
    }
    auto file = std::make_shared<FileObject>(fd, access, share, st);
    HANDLE handle = InsertHandle(file, [&](const KernelObject& object) {
        auto open = dynamic_cast<const FileObject*>(&object);
        return open != nullptr && ShareConflict(*open, *file);
    });
    if (handle == nullptr)
        return Fail(ERROR_SHARING_VIOLATION); // the descriptor closes with `file`
    bool truncate = (exists && disposition == CREATE_ALWAYS) || disposition == TRUNCATE_EXISTING;
    if (truncate && ::ftruncate(fd, 0) != 0) {
        DWORD error = ErrorFromErrno(errno);
        CloseHandle(handle);
        return Fail(error);
    }
    bool openedExisting = exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(openedExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Ticks of 100 ns between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116444736000000000;

FILETIME FileTimeFrom(std::int64_t seconds, long nanoseconds) {
    std::uint64_t ticks =
        static_cast<std::uint64_t>(seconds * 10000000 + nanoseconds / 100 + kUnixEpochTicks);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// A zero FILETIME asks SetFileTime to leave that time alone.
struct timespec TimespecFrom(const FILETIME* time) {
    struct timespec ts {};
    std::uint64_t ticks =
        time == nullptr ? 0 : (std::uint64_t{time->dwHighDateTime} << 32) | time->dwLowDateTime;
    if (ticks == 0) {
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    std::int64_t unixTicks = static_cast<std::int64_t>(ticks) - kUnixEpochTicks;
    std::int64_t seconds = unixTicks / 10000000;
    std::int64_t rest = unixTicks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        seconds -= 1;
    }
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>(rest * 100);
    return ts;
}

FILETIME CreationTime(const FileObject& file, const struct stat& st) {
    struct statx sx;
    if (::statx(file.fd, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        return FileTimeFrom(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec);
    return FileTimeFrom(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
}

} // namespace

void Win32TestDouble::SetDiskSpace(std::int64_t bytes) {
    diskSpace = bytes;
}

void Win32TestDouble::SetReadFault(bool fail) {
    readFault = fail;
}

void Win32TestDouble::Reset() {
    diskSpace = -1;
    readFault = false;
}

HANDLE CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flags, HANDLE) {
    if (path == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    return CreateFileUtf8(path, access, share, disposition, flags);
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flags, HANDLE) {
    if (path == nullptr)
        return Fail(ERROR_INVALID_PARAMETER);
    std::string utf8;
    for (; *path != 0; ++path)
        AppendUtf8(utf8, static_cast<std::uint32_t>(*path));
    return CreateFileUtf8(utf8, access, share, disposition, flags);
}

namespace {

// The file behind a handle when it was opened with the access a transfer
// needs; null with the error set otherwise. The count done starts at 0.
std::shared_ptr<FileObject> FileFor(HANDLE handle, LPDWORD done, bool (*permits)(DWORD)) {
    if (done != nullptr)
        *done = 0;
    auto file = FindHandleOf<FileObject>(handle);
    if (file != nullptr && !permits(file->access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

// Repeats step(offset, bytes) until count bytes are moved or step reports the
// end (0); the count moved so far is kept in done. False with the error set
// when a step fails.
template <typename Step> bool Transfer(DWORD count, LPDWORD done, Step step) {
    DWORD total = 0;
    while (total < count) {
        const ssize_t n = step(total, count - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            SetLastError(errno == EISDIR ? ERROR_INVALID_FUNCTION : ErrorFromErrno(errno));
            return false;
        }
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
        if (done != nullptr)
            *done = total;
    }
    return true;
}

// The bytes of count that the simulated disk still takes (all without a limit).
DWORD TakeDiskSpace(DWORD count) {
    for (std::int64_t space = diskSpace; space >= 0;) {
        const DWORD allowed = space < count ? static_cast<DWORD>(space) : count;
        if (diskSpace.compare_exchange_weak(space, space - allowed))
            return allowed;
    }
    return count;
}

} // namespace

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    auto file = FileFor(handle, done, Reads);
    if (file == nullptr)
        return FALSE;
    if (readFault) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    char* bytes = static_cast<char*>(buffer);
    return Transfer(count, done,
                    [&](DWORD at, DWORD n) { return ::read(file->fd, bytes + at, n); });
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    auto file = FileFor(handle, done, Writes);
    if (file == nullptr)
        return FALSE;
    const DWORD allowed = TakeDiskSpace(count);
    const char* bytes = static_cast<const char*>(buffer);
    if (!Transfer(allowed, done,
                  [&](DWORD at, DWORD n) { return ::write(file->fd, bytes + at, n); }))
        return FALSE;
    if (allowed < count) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distance, PLONG distanceHigh, DWORD method) {
    auto file = FindHandleOf<FileObject>(handle);
    if (file == nullptr)
        return INVALID_SET_FILE_POINTER;
    std::int64_t move = distanceHigh == nullptr
                            ? distance
                            : static_cast<std::int64_t>(
                                  (std::uint64_t{static_cast<std::uint32_t>(*distanceHigh)} << 32) |
                                  static_cast<std::uint32_t>(distance));
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    if (method > FILE_END) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t base = whence == SEEK_SET ? 0 : ::lseek(file->fd, 0, whence);
    if (base < 0 || (move < 0 && base < -move)) {
        SetLastError(base < 0 ? ErrorFromErrno(errno) : ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (move > 0 && base > INT64_MAX - move) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t now = ::lseek(file->fd, base + move, SEEK_SET);
    if (now < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr)
        *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(now) >> 32);
    // A position whose low part looks like the failure value is told apart
    // by a cleared last error.
    if (static_cast<DWORD>(now) == INVALID_SET_FILE_POINTER)
        SetLastError(NO_ERROR);
    return static_cast<DWORD>(now);
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
    auto file = FindHandleOf<FileObject>(handle);
    if (file == nullptr)
        return INVALID_FILE_SIZE;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    std::uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    if (sizeHigh != nullptr)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE)
        SetLastError(NO_ERROR);
    return static_cast<DWORD>(size);
}

BOOL GetFileTime(HANDLE handle, LPFILETIME created, LPFILETIME accessed, LPFILETIME written) {
    auto file = FindHandleOf<FileObject>(handle);
    if (file == nullptr)
        return FALSE;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    if (created != nullptr)
        *created = CreationTime(*file, st);
    if (accessed != nullptr)
        *accessed = FileTimeFrom(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    if (written != nullptr)
        *written = FileTimeFrom(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME* accessed,
                 const FILETIME* written) {
    auto file = FindHandleOf<FileObject>(handle);
    if (file == nullptr)
        return FALSE;
    if (!Writes(file->access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct timespec times[2] = {TimespecFrom(accessed), TimespecFrom(written)};
    if (::futimens(file->fd, times) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
