#pragma once
// The file operations of the run's file work, over the runtime library and the
// platform's file attributes. On POSIX the Win32 attribute word is synthesised
// from the file's mode, so the log reads the same on both systems.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
constexpr uint32_t kReadOnlyAttribute = 0x1;
constexpr uint32_t kDirectoryAttribute = 0x10;
constexpr uint32_t kArchiveAttribute = 0x20;

// A file's attributes: the attribute word, and on POSIX the permission bits
// behind it, which a replacement takes over whole (a replaced program must keep
// its execute bits).
struct FileAttributes {
  uint32_t word;
  uint32_t mode;

  bool exists() const { return word != kInvalidFileAttributes; }
  bool readOnly() const { return exists() && (word & kReadOnlyAttribute) != 0; }
  FileAttributes withWord(uint32_t newWord) const { return FileAttributes{newWord, mode}; }
};

// kInvalidFileAttributes in the word when the file is missing or cannot be examined.
FileAttributes readFileAttributes(const std::string& path);
// Sets the word's read-only flag (and on POSIX the permission bits it was read
// with). False on failure; on POSIX errno tells why.
bool writeFileAttributes(const std::string& path, const FileAttributes& attributes);
// What a newly delivered file gets when no earlier file hands its attributes on:
// nothing on Windows (an invalid word); on POSIX 0644, or 0755 for an ELF
// program or a "#!" script, under the process's umask as first read.
FileAttributes newFileAttributes(const std::string& path);
// Tests that set the process's umask have it read again (nothing on Windows).
void rereadUmaskForTesting();

// The runtime library's calls: 0 on success, -1 with errno set. On Windows a
// rename that meets a sharing violation (a scanner or indexer holding the file
// for a moment) is retried for about 2 s before it fails with EACCES.
int renameFile(const std::string& from, const std::string& to);
int removeFile(const std::string& path);
// Removes a file whatever its read-only flag (Windows refuses to delete a read-only file).
int removeFileEvenReadOnly(const std::string& path);
// Forces a file's bytes to the disk (fsync / FlushFileBuffers), so that a rename
// done after it never publishes a name whose content a power loss would take.
// Opens the file for writing on Windows: call it before a read-only flag is set.
bool syncFile(const std::string& path);
// The same for a file open for writing, its buffer flushed already.
bool syncOpenFile(FILE* file);
// The directory part of a path ("." for a bare name).
std::string directoryOf(const std::string& path);
// Forces the renames done in a directory to the disk (Linux; the Windows file
// systems keep their own journal of names).
void syncDirectory(const std::string& directory);
int makeDirectory(const std::string& path);
// Whether anything, a plain file too, exists under the name.
bool pathExists(const std::string& path);
// Whether a folder (or a link to one) is under the name.
bool isDirectory(const std::string& path);
// Whether a failed rename's errno means the file is held by a running program.
bool isInUseError(int error);

// The platform's rename behind renameFile.
int systemRename(const std::string& from, const std::string& to);

// Replaces the rename for tests that need it to fail; an empty function restores it.
typedef std::function<int(const std::string& from, const std::string& to)> RenameFunction;
void setRenameFunctionForTesting(RenameFunction function);
