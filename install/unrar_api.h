// The parts of the UnRAR library's DLL interface (dll.hpp, RAR_DLL_VERSION 8)
// that the extraction uses, declared here so that the library can be loaded
// by name at run time or linked in, with the same layouts either way.  Layouts are byte-packed, as
// the library builds them; wchar_t is the library's own (UTF-32 here, UTF-16 in unrar.dll).
#pragma once

#include <cwchar>

#include "platform/platform.h"

namespace unrar {

constexpr int kSuccess = 0;
constexpr int kEndArchive = 10;
constexpr int kCreateError = 16;
constexpr int kWriteError = 19;
constexpr int kMissingPassword = 22;
constexpr int kBadPassword = 24;
constexpr unsigned kEntryEncrypted = 0x04;  // RHDF_ENCRYPTED
constexpr unsigned kOpenForExtract = 1;     // RAR_OM_EXTRACT
constexpr int kExtract = 2;                 // RAR_EXTRACT

#pragma pack(push, 1)

struct HeaderDataEx {
    char ArcName[1024];
    wchar_t ArcNameW[1024];
    char FileName[1024];
    wchar_t FileNameW[1024];
    unsigned int Flags;
    unsigned int PackSize;
    unsigned int PackSizeHigh;
    unsigned int UnpSize;
    unsigned int UnpSizeHigh;
    unsigned int HostOS;
    unsigned int FileCRC;
    unsigned int FileTime;
    unsigned int UnpVer;
    unsigned int Method;
    unsigned int FileAttr;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
    unsigned int DictSize;
    unsigned int HashType;
    char Hash[32];
    unsigned int RedirType;  // 0 for a plain file or folder, else a kind of link
    wchar_t* RedirName;      // link target, filled only when a buffer is given
    unsigned int RedirNameSize;
    unsigned int DirTarget;
    unsigned int MtimeLow;
    unsigned int MtimeHigh;
    unsigned int CtimeLow;
    unsigned int CtimeHigh;
    unsigned int AtimeLow;
    unsigned int AtimeHigh;
    unsigned int Reserved[988];
};

using CallbackFn = int(PLATFORM_LIBRARY_CALL*)(unsigned int msg, long userData, long p1, long p2);

struct OpenArchiveDataEx {
    char* ArcName;
    wchar_t* ArcNameW;
    unsigned int OpenMode;
    unsigned int OpenResult;
    char* CmtBuf;
    unsigned int CmtBufSize;
    unsigned int CmtSize;
    unsigned int CmtState;
    unsigned int Flags;
    CallbackFn Callback;
    long UserData;
    unsigned int OpFlags;
    wchar_t* CmtBufW;
    unsigned int Reserved[25];
};

#pragma pack(pop)

using OpenArchiveExFn = void*(PLATFORM_LIBRARY_CALL*)(OpenArchiveDataEx*);
using CloseArchiveFn = int(PLATFORM_LIBRARY_CALL*)(void*);
using ReadHeaderExFn = int(PLATFORM_LIBRARY_CALL*)(void*, HeaderDataEx*);
using ProcessFileWFn = int(PLATFORM_LIBRARY_CALL*)(void*, int, wchar_t*, wchar_t*);

struct Library {
    OpenArchiveExFn openArchive = nullptr;
    CloseArchiveFn closeArchive = nullptr;
    ReadHeaderExFn readHeader = nullptr;
    ProcessFileWFn processFile = nullptr;
};

// The library's functions; all null when it is not available.  The build
// chooses how it is found: loaded by name at run time (unrar_loaded.cpp,
// Linux: the system's libunrar) or linked into the program
// (unrar_linked.cpp, Windows: one file to download).
Library loadLibrary();

}  // namespace unrar
