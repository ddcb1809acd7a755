// The Windows services the entry points call, declared for POSIX builds: only the types, values
// and calls they use. Handles are file descriptors other than 0, which is never handed out or
// accepted, so that a null handle can never reach the host's standard input. Blocks come from
// calloc() so that a host releases them with free().
#pragma once

#include <cstddef>
#include <cstdint>

using BOOL = int;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = unsigned int;
using SIZE_T = size_t;
using HANDLE = void*;
using HLOCAL = void*;
using LPCSTR = const char*;
using LPSTR = char*;
using WCHAR = char16_t;  // a UTF-16 code unit
using LPCWSTR = const WCHAR*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
inline constexpr UINT LMEM_FIXED = 0x0;
inline constexpr UINT LMEM_ZEROINIT = 0x40;

// A handle holds its descriptor in the pointer's bits; -1 is no descriptor.
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(intptr_t{-1}))

// Opens an existing file read-only (close-on-exec), or returns INVALID_HANDLE_VALUE. Sharing
// modes have no POSIX meaning; the sequential-scan flag becomes a read-ahead hint.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share_mode, void* security_attributes,
                   DWORD creation_disposition, DWORD flags, HANDLE template_file);

// As CreateFileA, for a NUL-terminated UTF-16 name, which is opened under its UTF-8 spelling. A
// name that is not valid UTF-16 (an unpaired surrogate) cannot be opened.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share_mode, void* security_attributes,
                   DWORD creation_disposition, DWORD flags, HANDLE template_file);

// Moves the position relative to the start of the file. Returns the low 32 bits of the new
// position, or INVALID_SET_FILE_POINTER.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distance_high, DWORD move_method);

// Reads count bytes, or up to the end of the file, as Windows does for a regular file. Returns
// FALSE on a read error; *delivered holds the bytes read either way.
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* delivered, void* overlapped);

BOOL CloseHandle(HANDLE file);

// A zero-filled block of bytes (a usable one for 0), or null. Only fixed, zero-filled blocks
// exist here, so flags must be LMEM_FIXED | LMEM_ZEROINIT.
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);

// Releases a block from LocalAlloc; returns null as Windows does on success.
HLOCAL LocalFree(HLOCAL block);

LPSTR lstrcpyA(LPSTR destination, LPCSTR source);
int lstrlenA(LPCSTR text);
