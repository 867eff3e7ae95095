#pragma once
// The few file services the table object needs, behind one small interface so that the object
// itself stays free of platform calls: positioned reads and writes, and a sharing lock that lets
// others read a table while it is written but keeps a second writer out.
#include <cstdint>
#include <string>

namespace corvanta::dbfio {

using Handle = long;
constexpr Handle kNoHandle = -1;

enum class OpenMode { ReadOnly, ReadWrite };

// Opens an existing file. ReadWrite also takes the write lock and fails when another open file
// (this process or another) holds it. Returns kNoHandle on failure.
Handle openFile(const std::string& path, OpenMode mode);
// Creates (or truncates) a file for reading and writing, without a lock.
Handle createFile(const std::string& path);
void closeFile(Handle h);

// Positioned I/O: the file position is not used or changed. Return the bytes transferred
// (short on end of file or error), or -1 when nothing could be transferred.
long long readAt(Handle h, std::uint64_t offset, void* buffer, std::size_t length);
long long writeAt(Handle h, std::uint64_t offset, const void* buffer, std::size_t length);

bool exists(const std::string& path);
bool isDirectory(const std::string& path);
// Clears a read-only attribute and deletes the file; false when it could not be deleted.
bool removeFile(const std::string& path);

// The number of the last input/output error of this thread.
int lastError();

}  // namespace corvanta::dbfio
