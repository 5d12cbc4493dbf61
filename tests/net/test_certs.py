"""Test certificates for the local release server, made with the openssl
command.

    python3 test_certs.py DIR      # makes DIR's certificates unless present

Made (EC P-256 keys, PEM):
  root-ca.pem                 the test root CA that tests trust
  intermediate-ca.pem         signed by the root
  server-chain.pem            leaf for DNS:localhost, IP:127.0.0.1 and
                              DNS:release.velto.test, then the intermediate
  server-leaf-only.pem        the same leaf without its intermediate
  expired-chain.pem           a leaf whose validity ended in 2021
  wrong-host-chain.pem        a leaf for DNS:wrong-host.invalid only
  self-signed.pem             a self-signed leaf for localhost
  unknown-root-leaf.pem       a leaf for localhost under an untrusted root
with one key file (*.key) per certificate. A lock file makes concurrent
callers wait for one maker instead of racing it.
"""

import fcntl
import os
import subprocess
import sys
import tempfile

SERVER_NAMES = "DNS:localhost, IP:127.0.0.1, DNS:release.velto.test"

CONFIG = f"""
[req]
distinguished_name = dn
prompt = no
[dn]
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial.txt
default_md = sha256
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

FILES = ("root-ca.pem", "intermediate-ca.pem", "server-chain.pem", "server-leaf-only.pem",
         "expired-chain.pem", "wrong-host-chain.pem", "self-signed.pem", "unknown-root-leaf.pem")


def _openssl(work, *arguments):
    subprocess.run(("openssl",) + arguments, cwd=work, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def _key(work, name):
    _openssl(work, "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", name + ".key")


def _self_signed(work, name, subject, section):
    _key(work, name)
    _openssl(work, "req", "-x509", "-new", "-config", "certs.cnf", "-extensions", section, "-key", name + ".key",
             "-subj", subject, "-days", "3650", "-sha256", "-out", name + ".pem")


def _signed(work, name, subject, issuer, section):
    _key(work, name)
    _openssl(work, "req", "-new", "-config", "certs.cnf", "-key", name + ".key", "-subj", subject,
             "-out", name + ".csr")
    _openssl(work, "x509", "-req", "-in", name + ".csr", "-CA", issuer + ".pem", "-CAkey", issuer + ".key",
             "-CAcreateserial", "-days", "3650", "-sha256", "-extfile", "certs.cnf", "-extensions", section,
             "-out", name + ".pem")


def _expired(work, name, subject, issuer):
    """A leaf valid in 2020 only: openssl ca can set dates in the past."""
    _key(work, name)
    _openssl(work, "req", "-new", "-config", "certs.cnf", "-key", name + ".key", "-subj", subject,
             "-out", name + ".csr")
    open(os.path.join(work, "index.txt"), "w").close()
    with open(os.path.join(work, "serial.txt"), "w") as serial:
        serial.write("1000\n")
    _openssl(work, "ca", "-batch", "-config", "certs.cnf", "-cert", issuer + ".pem", "-keyfile", issuer + ".key",
             "-in", name + ".csr", "-out", name + ".pem", "-startdate", "20200101000000Z",
             "-enddate", "20210101000000Z", "-extfile", "certs.cnf", "-extensions", "server", "-notext")


def _concatenate(work, target, *parts):
    with open(os.path.join(work, target), "w") as out:
        for part in parts:
            with open(os.path.join(work, part)) as source:
                out.write(source.read())


def _make_all(work):
    with open(os.path.join(work, "certs.cnf"), "w") as config:
        config.write(CONFIG)
    _self_signed(work, "root-ca", "/CN=Velto Test Root CA", "root_ca")
    _signed(work, "intermediate-ca", "/CN=Velto Test Intermediate CA", "root-ca", "intermediate_ca")
    _signed(work, "server", "/CN=localhost", "intermediate-ca", "server")
    _expired(work, "expired", "/CN=localhost", "intermediate-ca")
    _signed(work, "wrong-host", "/CN=wrong-host.invalid", "intermediate-ca", "wrong_host")
    _self_signed(work, "self-signed", "/CN=localhost", "self_signed")
    _self_signed(work, "other-root-ca", "/CN=Untrusted Test Root CA", "root_ca")
    _signed(work, "unknown-root-leaf", "/CN=localhost", "other-root-ca", "server")
    _concatenate(work, "server-chain.pem", "server.pem", "intermediate-ca.pem")
    _concatenate(work, "server-leaf-only.pem", "server.pem")
    _concatenate(work, "expired-chain.pem", "expired.pem", "intermediate-ca.pem")
    _concatenate(work, "wrong-host-chain.pem", "wrong-host.pem", "intermediate-ca.pem")


def make_certificates(directory):
    """Makes the certificates in directory unless all are there already;
    returns the directory's absolute path."""
    directory = os.path.abspath(directory)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not all(os.path.exists(os.path.join(directory, name)) for name in FILES):
            _make_all(directory)
    return directory


def fresh_certificates():
    """Certificates in a new temporary directory."""
    return make_certificates(tempfile.mkdtemp(prefix="velto-test-certs-"))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: test_certs.py DIR")
    print(make_certificates(sys.argv[1]))
