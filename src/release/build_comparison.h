// Two Windows programs compared with their Authenticode signatures left
// out, to tell whether a signed Velto.exe is the build made from a source.
#pragma once

#include <string>

#include "release/named_file.h"

struct BuildComparison {
    bool same = false;
    std::string detail;  // how they differ, or which of them are signed
};

// Compares the two images byte for byte, leaving out what signing changes:
// the CheckSum field, the certificate-table directory entry, the
// certificate table at the end of the file and the zero padding that
// signing tools put before it. False with error set when a file is no PE
// image or its certificate table does not end it.
bool CompareBuilds(const NamedFile& first, const NamedFile& second, BuildComparison& comparison,
                   std::string& error);
