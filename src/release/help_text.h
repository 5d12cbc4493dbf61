// What velto-release --help and each command's --help print.
#pragma once

inline constexpr char kToolHelp[] = R"(velto-release: makes and checks Velto releases with the bootstrapper's own code.

Usage:
  velto-release pin FILE
  velto-release manifest --version VERSION --url URL [--output FILE] INSTALLER
  velto-release check --pin PIN MANIFEST INSTALLER
  velto-release check --pin PIN --url MANIFEST_URL
  velto-release same-build A.exe B.exe
  velto-release COMMAND --help      that command's help, with an example

On Windows (velto-release.exe), run check as administrator.

Exit codes:
  0  done; for check: the release is ready; for same-build: the same build
  1  refused, with the reason: the input would fail in the field, could not
     be checked, or the two programs are different builds
  2  usage error: unknown command or option, missing argument, or a file that
     cannot be opened; nothing is written
)";

inline constexpr char kPinHelp[] = R"(velto-release pin FILE

Prints the pin of FILE as 64 upper-case hexadecimal digits: the SHA-256
fingerprint of a certificate (PEM or DER, one certificate), or of the
certificate that signed a Windows program. It is computed by the code that
checks the signer in the field. Build Velto.exe with it as
VELTO_PINNED_THUMBPRINT.

Example:
  velto-release pin release-signing.pem
  cmake --preset windows -DVELTO_PINNED_THUMBPRINT=$(velto-release pin release-signing.pem) ...
)";

inline constexpr char kManifestHelp[] = R"(velto-release manifest --version VERSION --url URL [--output FILE] INSTALLER

Writes the release manifest for the signed INSTALLER to standard output, or
to FILE: the version shown to users, the HTTPS address the installer will be
downloaded from and the SHA-256 of the file as it is, after signing. Values
are written as UTF-8 with only the escapes the bootstrapper reads.

Refuses, writing nothing: a version or URL that the bootstrapper could not
read back as given (empty, not UTF-8, or holding a control character that
would need a \u escape); a URL that does not start with https://; an
installer that is unsigned, altered after signing or larger than 268435456
bytes; a manifest larger than 131072 bytes. Prints the signer's pin on
standard error.

Example:
  velto-release manifest --version 2.1.0 \
    --url https://releases.example.com/downloads/velto/Velto_Setup_2.1.0.exe \
    --output latest.json Velto_Setup_2.1.0.exe
)";

inline constexpr char kCheckHelp[] = R"(velto-release check --pin PIN MANIFEST INSTALLER
velto-release check --pin PIN --url MANIFEST_URL

Runs the bootstrapper's own steps on a release, up to where it would ask the
user, and starts nothing: the pin, the manifest's fields, the size limits,
the installer's SHA-256, its Authenticode signature and its signer.

With MANIFEST and INSTALLER it reads local files, the installer standing for
the download that the manifest names. With --url it fetches the manifest and
then the installer over HTTPS exactly as the bootstrapper does (this
machine's trust store; on Linux SSL_CERT_FILE when set). Either way the
installer is staged and checked as the bootstrapper stages it, and removed
again.

On Windows, run check as administrator (from an elevated prompt): the
bootstrapper stages the installer in a folder under C:\Windows\Temp that
only administrators may use, and so does check.

Prints "ready" with the version, URL and SHA-256 that the bootstrapper would
offer (exit 0), or the exit code the bootstrapper would end with and the
exact message it would show (exit 1).

Examples:
  velto-release check --pin "$PIN" latest.json Velto_Setup_2.1.0.exe
  velto-release check --pin "$PIN" --url https://releases.example.com/downloads/velto/update/latest.json
)";

inline constexpr char kSameBuildHelp[] = R"(velto-release same-build A.exe B.exe

Tells whether two Windows programs are the same build: byte for byte the same
once their Authenticode signatures are left out (the CheckSum field, the
certificate-table entry, the certificate table and the zero padding a signing
tool puts before it). Use it to check a published, signed Velto.exe against
one built from the source with the same URL and pin.

Example:
  velto-release same-build Velto-published.exe build/windows/Velto.exe
)";

// Added to a check refused at staging.
inline constexpr char kStagingNote[] =
    "the installer could not be staged as the bootstrapper stages it; on Windows, run check as administrator";
