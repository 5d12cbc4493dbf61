"""The test certificates, made offline with the openssl command: one set
of commands for both test PKIs.

    python3 test_pki.py server DIR    # the release server's TLS PKI
    python3 test_pki.py signing DIR   # the Authenticode signing PKI

server (EC P-256 keys, PEM), made unless all are there already; a lock
file makes concurrent callers wait for one maker instead of racing it:
  root-ca.pem                 the test root CA that tests trust
  intermediate-ca.pem         signed by the root
  server-chain.pem            leaf for DNS:localhost, IP:127.0.0.1 and
                              DNS:release.velto.test, then the intermediate
  server-leaf-only.pem        the same leaf without its intermediate
  expired-chain.pem           a leaf whose validity ended in 2021
  wrong-host-chain.pem        a leaf for DNS:wrong-host.invalid only
  self-signed.pem             a self-signed leaf for localhost
  unknown-root-leaf.pem       a leaf for localhost under an untrusted root
with one key file (*.key) per certificate.

signing (RSA 2048 keys), made anew on every call with new keys and the same
names, serials, dates and extensions: a root, an intermediate, a
code-signing leaf, a self-signed signer, an unrelated signer with its own
root, an expired leaf, a leaf for the wrong usage and a timestamping
authority; then the signers of the chain cases (no extended usage, not yet
valid, an unknown critical extension, a CA as signer, an intermediate for
server use only, a self-signed signer whose own signature is broken) and an
impostor with the leaf's issuer and serial number but another key. Each
signer's SHA-256 fingerprint (over the DER certificate) is written to
NAME.sha256, and chain_*.pem are the bundles for 'osslsigncode sign
-certs', the signer first.
"""

import fcntl
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

import der

EC_P256 = ("-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256")
RSA_2048 = ("-quiet", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048")


class Openssl:
    """Runs openssl in one folder, where every file of a PKI lives: NAME.key,
    NAME.csr and the certificates."""

    def __init__(self, folder, key_algorithm):
        self.folder = folder
        self.key_algorithm = key_algorithm

    def run(self, *arguments):
        subprocess.run(("openssl",) + arguments, cwd=self.folder, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, text):
        with open(self.path(name), "w") as file:
            file.write(text)

    def key(self, name):
        self.run("genpkey", *self.key_algorithm, "-out", name + ".key")

    def request(self, name, subject, key=None, config=()):
        """NAME.csr for subject, with NAME's key or another one."""
        self.run("req", "-new", *config, "-key", (key or name) + ".key", "-subj", subject, "-out", name + ".csr")

    def self_signed(self, out, key, subject, days, *options):
        self.run("req", "-new", "-x509", "-key", key + ".key", "-sha256", "-days", str(days), "-subj", subject,
                 *options, "-out", out)

    def issue(self, name, issuer_cert, issuer_key, days, extfile, section, *options, out=None):
        """NAME's request signed by an issuer, valid from now for days."""
        self.run("x509", "-req", "-in", name + ".csr", "-CA", issuer_cert, "-CAkey", issuer_key, *options,
                 "-days", str(days), "-sha256", "-extfile", extfile, "-extensions", section,
                 "-out", out or name + ".pem")

    def issue_dated(self, name, serial, issuer_cert, issuer_key, start, end, config, extfile, section,
                    *options, out=None):
        """NAME's request signed with 'openssl ca', which can set dates in
        the past; issuer_cert None signs it with its own key. The config
        keeps the database in ca_db (CA_DATABASE)."""
        os.makedirs(self.path("ca_db"), exist_ok=True)
        self.write("ca_db/index.txt", "")
        self.write("ca_db/serial", serial + "\n")
        issuer = ("-selfsign",) if issuer_cert is None else ("-cert", issuer_cert)
        self.run("ca", "-batch", "-notext", *options, "-config", config, *issuer, "-keyfile", issuer_key,
                 "-startdate", start, "-enddate", end, "-extfile", extfile, "-extensions", section,
                 "-in", name + ".csr", "-out", out or name + ".pem")

    def concatenate(self, target, *parts):
        with open(self.path(target), "w") as out:
            for part in parts:
                with open(self.path(part)) as source:
                    out.write(source.read())

    def der(self, name, certificate=None):
        """NAME.der from a PEM certificate; returns its bytes."""
        self.run("x509", "-in", certificate or name + ".crt", "-outform", "der", "-out", name + ".der")
        with open(self.path(name + ".der"), "rb") as file:
            return file.read()


# The database of 'openssl ca', for both PKIs' configurations.
CA_DATABASE = """
database = ./ca_db/index.txt
serial = ./ca_db/serial
new_certs_dir = ./ca_db
"""


# -- The release server's TLS PKI ---------------------------------------------

SERVER_NAMES = "DNS:localhost, IP:127.0.0.1, DNS:release.velto.test"

SERVER_CONFIG = f"""
[req]
distinguished_name = dn
prompt = no
[dn]
[ca]
default_ca = test_ca
[test_ca]{CA_DATABASE}default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
[root_ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[intermediate_ca]
basicConstraints = critical, CA:TRUE, pathlen:0
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid:always
[server]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = {SERVER_NAMES}
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[wrong_host]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:wrong-host.invalid
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[self_signed]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = {SERVER_NAMES}
subjectKeyIdentifier = hash
"""

SERVER_FILES = ("root-ca.pem", "intermediate-ca.pem", "server-chain.pem", "server-leaf-only.pem",
                "expired-chain.pem", "wrong-host-chain.pem", "self-signed.pem", "unknown-root-leaf.pem")


def _has_full_width_signature(pem_path):
    """Whether both integers of the certificate's ECDSA P-256 signature
    take all 32 bytes. Wine 8.0's chain check refuses a certificate whose
    r or s is shorter (about one signature in 128), so Velto.exe under
    Wine would see an untrusted server: measured with an intermediate whose
    s had 31 bytes, refused on every run and accepted once re-signed. It is
    the usual fault of turning the DER signature into fixed-width r and s
    without padding."""
    certificate = der.pem_certificates(pem_path)[0]
    bits = der.children(certificate, 0)[2]
    signature = der.content(certificate, bits)[1:]  # past the unused-bits count
    widths = [len(der.content(signature, at).lstrip(b"\0")) for at in der.children(signature, 0)]
    return widths == [32, 32]


def _until_full_width(pem_path, sign, attempts=20):
    """Signs (a new random nonce each time) until Wine can verify it too."""
    for _ in range(attempts):
        sign()
        if _has_full_width_signature(pem_path):
            return
    raise RuntimeError("no full-width ECDSA signature for %s in %d attempts" % (pem_path, attempts))


def _make_server_pki(folder):
    ssl = Openssl(folder, EC_P256)
    ssl.write("certs.cnf", SERVER_CONFIG)
    config = ("-config", "certs.cnf")

    def self_signed(name, subject, section):
        ssl.key(name)
        _until_full_width(ssl.path(name + ".pem"), lambda: ssl.self_signed(
            name + ".pem", name, subject, 3650, *config, "-extensions", section))

    def signed(name, subject, issuer, section):
        ssl.key(name)
        ssl.request(name, subject, config=config)
        _until_full_width(ssl.path(name + ".pem"), lambda: ssl.issue(
            name, issuer + ".pem", issuer + ".key", 3650, "certs.cnf", section, "-CAcreateserial"))

    self_signed("root-ca", "/CN=Velto Test Root CA", "root_ca")
    signed("intermediate-ca", "/CN=Velto Test Intermediate CA", "root-ca", "intermediate_ca")
    signed("server", "/CN=localhost", "intermediate-ca", "server")
    ssl.key("expired")
    ssl.request("expired", "/CN=localhost", config=config)
    _until_full_width(ssl.path("expired.pem"), lambda: ssl.issue_dated(
        "expired", "1000", "intermediate-ca.pem", "intermediate-ca.key", "20200101000000Z", "20210101000000Z",
        "certs.cnf", "certs.cnf", "server"))
    signed("wrong-host", "/CN=wrong-host.invalid", "intermediate-ca", "wrong_host")
    self_signed("self-signed", "/CN=localhost", "self_signed")
    self_signed("other-root-ca", "/CN=Untrusted Test Root CA", "root_ca")
    signed("unknown-root-leaf", "/CN=localhost", "other-root-ca", "server")
    ssl.concatenate("server-chain.pem", "server.pem", "intermediate-ca.pem")
    ssl.concatenate("server-leaf-only.pem", "server.pem")
    ssl.concatenate("expired-chain.pem", "expired.pem", "intermediate-ca.pem")
    ssl.concatenate("wrong-host-chain.pem", "wrong-host.pem", "intermediate-ca.pem")


def make_server_certificates(directory):
    """Makes the server's certificates in directory unless all are there
    already; returns the directory's absolute path."""
    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not all(os.path.exists(os.path.join(directory, name)) for name in SERVER_FILES):
            _make_server_pki(directory)
    return directory


def fresh_server_certificates():
    """The server's certificates in a new temporary directory."""
    return make_server_certificates(tempfile.mkdtemp(prefix="velto-test-certs-"))


# -- The Authenticode signing PKI ----------------------------------------------

SIGNING_EXTENSIONS = """
[v3_root]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
[v3_inter]
basicConstraints=critical,CA:TRUE,pathlen:0
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_leaf_cs]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_leaf_noeku]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_leaf_critical]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
1.3.6.1.4.1.55555.7=critical,DER:05:00
[v3_ca_signer]
basicConstraints=critical,CA:TRUE
keyUsage=critical,digitalSignature,keyCertSign
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_inter_server]
basicConstraints=critical,CA:TRUE,pathlen:0
keyUsage=critical,keyCertSign,cRLSign
extendedKeyUsage=serverAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_leaf_server]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=serverAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
[v3_tsa]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=critical,timeStamping
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
"""

SIGNING_CA = f"""
[ca]
default_ca = test_ca
[test_ca]{CA_DATABASE}default_md = sha256
policy = policy_any
unique_subject = no
copy_extensions = none
[policy_any]
commonName = supplied
"""

LEAF_SERIAL = "0x8A1B2C3D4E5F6071"
SIGNERS = ("leaf", "self", "other", "expired", "server", "noeku", "future", "critical", "casigner", "underserverca",
           "selfbroken")


def make_signing_pki(folder):
    """Makes the signing PKI in folder, new keys on every call."""
    os.makedirs(folder, exist_ok=True)
    shutil.rmtree(os.path.join(folder, "ca_db"), ignore_errors=True)
    ssl = Openssl(folder, RSA_2048)
    ssl.write("ext.cnf", SIGNING_EXTENSIONS)
    ssl.write("ca.cnf", SIGNING_CA)

    def certificate(name, subject, key=None):
        if key is None:
            ssl.key(name)
        ssl.request(name, subject, key)

    def dated(name, serial, issuer, start, end, section):
        """Signed with 'openssl ca', which can backdate notBefore;
        -preserveDN keeps the subject's order. issuer None: self-signed."""
        issuer_cert, issuer_key = (None, name + ".key") if issuer is None else (issuer + ".crt", issuer + ".key")
        ssl.issue_dated(name, serial, issuer_cert, issuer_key, start, end, "ca.cnf", "ext.cnf", section,
                        "-preserveDN", out=name + ".crt")

    def code_signer(name, subject, issuer, issuer_key, serial, out=None, *options):
        certificate(name, subject)
        ssl.issue(name, issuer + ".crt", issuer_key + ".key", 1825, "ext.cnf", "v3_leaf_cs", "-set_serial", serial,
                  *options, out=out or name + ".crt")

    certificate("root", "/C=XX/O=Test PKI/CN=Test Root CA")
    dated("root", "01", None, "20190101000000Z", "20390101000000Z", "v3_root")
    certificate("inter", "/C=XX/O=Test PKI/CN=Test Intermediate CA")
    dated("inter", "1002", "root", "20190101000000Z", "20380101000000Z", "v3_inter")
    code_signer("leaf", "/C=XX/O=Test Publisher/CN=Test Code Signing Leaf", "inter", "inter", LEAF_SERIAL)
    ssl.key("self")
    ssl.self_signed("self.crt", "self", "/C=XX/O=Test Self/CN=Test Self-Signed Code Signing", 1825,
                    "-set_serial", "0x5E1F", "-addext", "basicConstraints=critical,CA:FALSE",
                    "-addext", "keyUsage=critical,digitalSignature", "-addext", "extendedKeyUsage=codeSigning")
    ssl.key("otherroot")
    ssl.self_signed("otherroot.crt", "otherroot", "/C=YY/O=Other Test PKI/CN=Other Test Root CA", 3650,
                    "-set_serial", "0x02", "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    code_signer("other", "/C=YY/O=Other Publisher/CN=Other Code Signing Leaf", "otherroot", "otherroot", "0x0203")
    certificate("expired", "/C=XX/O=Test Publisher/CN=Test Expired Leaf")
    dated("expired", "3003", "inter", "20200101000000Z", "20210101000000Z", "v3_leaf_cs")
    certificate("server", "/C=XX/O=Test Publisher/CN=Test Server Auth Leaf")
    dated("server", "4004", "inter", "20190101000000Z", "20340101000000Z", "v3_leaf_server")
    certificate("tsa", "/C=XX/O=Test PKI/CN=Test Timestamping Authority")
    dated("tsa", "3004", "root", "20190101000000Z", "20340101000000Z", "v3_tsa")

    # The chain cases reuse the leaf's key: only their certificates differ.
    def chain_case(name, serial, issuer, start, end, section):
        certificate(name, "/C=XX/O=Test Publisher/CN=Test Chain Case " + name, key="leaf")
        dated(name, serial, issuer, start, end, section)

    chain_case("noeku", "5005", "inter", "20190101000000Z", "20340101000000Z", "v3_leaf_noeku")
    chain_case("future", "6006", "inter", "20350101000000Z", "20360101000000Z", "v3_leaf_cs")
    chain_case("critical", "7007", "inter", "20190101000000Z", "20340101000000Z", "v3_leaf_critical")
    chain_case("casigner", "8008", "root", "20190101000000Z", "20340101000000Z", "v3_ca_signer")
    certificate("serverca", "/C=XX/O=Test PKI/CN=Test Server Intermediate CA")
    dated("serverca", "1003", "root", "20190101000000Z", "20380101000000Z", "v3_inter_server")
    chain_case("underserverca", "9009", "serverca", "20190101000000Z", "20340101000000Z", "v3_leaf_cs")

    # The self-signed signer with the last byte of its own signature flipped.
    broken = bytearray(ssl.der("self"))
    broken[-1] ^= 1
    with open(ssl.path("selfbroken.der"), "wb") as file:
        file.write(broken)
    ssl.run("x509", "-inform", "der", "-in", "selfbroken.der", "-out", "selfbroken.crt")
    # An impostor: issued by a look-alike of the intermediate (same name,
    # the other signer's key), with the leaf's serial number and its own key.
    ssl.self_signed("fakeinter.crt", "other", "/C=XX/O=Test PKI/CN=Test Intermediate CA", 3650,
                    "-set_serial", "0x1002")
    code_signer("impostor", "/C=XX/O=Test Publisher/CN=Test Code Signing Leaf", "fakeinter", "other", LEAF_SERIAL,
                "impostor.der", "-outform", "der")

    # Bundles for 'osslsigncode sign -certs', the signer first.
    ssl.concatenate("chain_full.pem", "leaf.crt", "inter.crt", "root.crt")
    ssl.concatenate("chain_leafonly.pem", "leaf.crt")
    ssl.concatenate("chain_other.pem", "other.crt", "otherroot.crt")
    ssl.concatenate("chain_expired.pem", "expired.crt", "inter.crt", "root.crt")
    ssl.concatenate("chain_server.pem", "server.crt", "inter.crt", "root.crt")
    ssl.concatenate("chain_self.pem", "self.crt")
    ssl.concatenate("chain_tsa.pem", "tsa.crt", "root.crt")
    for name in ("noeku", "future", "critical"):
        ssl.concatenate(f"chain_{name}.pem", f"{name}.crt", "inter.crt", "root.crt")
    ssl.concatenate("chain_casigner.pem", "casigner.crt", "root.crt")
    ssl.concatenate("chain_underserverca.pem", "underserverca.crt", "serverca.crt", "root.crt")
    ssl.concatenate("chain_selfbroken.pem", "selfbroken.crt")

    for name in SIGNERS:
        ssl.write(name + ".sha256", hashlib.sha256(ssl.der(name)).hexdigest() + "\n")
    ssl.write("empty.pem", "")
    os.makedirs(ssl.path("empty_dir"), exist_ok=True)
    return folder


MAKERS = {"server": make_server_certificates, "signing": make_signing_pki}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in MAKERS:
        sys.exit("usage: test_pki.py server|signing DIR")
    print(MAKERS[sys.argv[1]](sys.argv[2]))
