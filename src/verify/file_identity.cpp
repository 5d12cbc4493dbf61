#include "verify/file_identity.h"

#include <algorithm>
#include <iterator>

bool ReadFileIdentity(HANDLE file, FileIdentity& identity) {
    FILE_ID_INFO information = {};
    if (!GetFileInformationByHandleEx(file, FileIdInfo, &information, sizeof(information))) return false;
    identity.volumeSerialNumber = information.VolumeSerialNumber;
    std::copy(std::begin(information.FileId.Identifier), std::end(information.FileId.Identifier),
              identity.fileId.begin());
    return true;
}

bool IsSameFile(const FileIdentity& left, const FileIdentity& right) {
    return left.volumeSerialNumber == right.volumeSerialNumber && left.fileId == right.fileId;
}
