/* Adds a root certificate (PEM or DER file) to the machine's trusted root
   store, so that the test release server's certificate chain is trusted
   in the Wine prefix. Usage: trust_root.exe FILE */
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        fputs("usage: trust_root.exe FILE\n", stderr);
        return 64;
    }
    HANDLE file = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "cannot open %ls: %lu\n", argv[1], GetLastError());
        return 1;
    }
    static BYTE text[65536];
    DWORD size = 0;
    ReadFile(file, text, sizeof(text), &size, NULL);
    CloseHandle(file);

    static BYTE der[65536];
    DWORD derSize = sizeof(der);
    if (!CryptStringToBinaryA((const char*)text, size, CRYPT_STRING_BASE64HEADER, der, &derSize, NULL, NULL)) {
        memcpy(der, text, size); /* already DER */
        derSize = size;
    }
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (store == NULL) {
        fprintf(stderr, "cannot open the Root store: %lu\n", GetLastError());
        return 1;
    }
    const BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, derSize,
                                                        CERT_STORE_ADD_REPLACE_EXISTING, NULL);
    if (!added) fprintf(stderr, "cannot add the certificate: 0x%08lX\n", GetLastError());
    CertCloseStore(store, 0);
    return added ? 0 : 1;
}
