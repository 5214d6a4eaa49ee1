#include "files/FilePaths.h"

#include "files/FileHandle.h"
#include "commandline/ConsoleText.h"

PathKind KindOf(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                              : PathKind::kOther;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return PathKind::kDirectory;
    }
    const FileHandle file(CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && GetFileType(file.get()) == FILE_TYPE_DISK ? PathKind::kDiskFile
                                                             : PathKind::kOther;
}

std::string InputProblem(const std::wstring& path, long long& sizeBytes) {
    sizeBytes = 0;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return "no such file";
        }
        return "unreadable file: " + ResultText(HRESULT_FROM_WIN32(error));
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return "is a directory, not a file";
    }
    const FileHandle file = FileHandle::OpenForReading(path.c_str());
    if (!file) {
        return "unreadable file: " + ResultText(HRESULT_FROM_WIN32(GetLastError()));
    }
    LARGE_INTEGER size = {};
    if (GetFileSizeEx(file.get(), &size)) {
        sizeBytes = size.QuadPart;
        if (sizeBytes == 0) {
            return "empty file";
        }
    }
    return std::string();
}

bool SameFile(const std::wstring& first, const std::wstring& second) {
    BY_HANDLE_FILE_INFORMATION info[2] = {};
    const std::wstring* paths[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        const FileHandle file(CreateFileW(
            paths[i]->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!file || !GetFileInformationByHandle(file.get(), &info[i])) {
            return false;
        }
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
}

bool ReadBytesAt(const std::wstring& path, long long offset, unsigned char* bytes, DWORD byteCount,
                 DWORD& gotBytes) {
    gotBytes = 0;
    const FileHandle file = FileHandle::OpenForReading(path.c_str());
    size_t got = 0;
    if (!file || offset < 0 ||
        file.ReadAt(static_cast<unsigned long long>(offset), bytes, byteCount, got) !=
            ERROR_SUCCESS) {
        return false;
    }
    gotBytes = static_cast<DWORD>(got);
    return true;
}

