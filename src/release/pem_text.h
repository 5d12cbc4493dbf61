// The certificates of a PEM text, read without a cryptographic library:
// PEM is only Base64 between marker lines.
#pragma once

#include <string>

// Counts the blocks between "-----BEGIN CERTIFICATE-----" and
// "-----END CERTIFICATE-----" and decodes the first one's Base64 into
// firstDer (left empty when it is no valid Base64). Blocks of other kinds
// (keys, parameters) are passed over; an unfinished block ends the text.
int ReadPemCertificates(const std::string& text, std::string& firstDer);
