#include "verify/file_identity.h"

bool ReadFileIdentity(HANDLE file, FileIdentity& identity) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) return false;
    identity = FileIdentity{information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
    return true;
}

bool IsSameFile(const FileIdentity& left, const FileIdentity& right) {
    return left.volumeSerialNumber == right.volumeSerialNumber && left.fileIndexHigh == right.fileIndexHigh &&
           left.fileIndexLow == right.fileIndexLow;
}
