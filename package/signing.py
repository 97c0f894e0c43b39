"""Signs the program with the maker's Authenticode certificate and checks the signature before the
program may go into a package.

The certificate comes as a PKCS#12 file holding the key and its chain. The signing time is the
release's own time, not the clock's, and no time-stamping server is asked: the same program, key and
time give the same signed program, byte for byte. The signature is verified against the chain in
that file right after signing; only a program that passed goes on.
"""
import os
import re
import subprocess
import tempfile

DESCRIPTION = "TLYN_Update"  # the program's name in the signature, as Windows shows it when asked


class SigningError(Exception):
    pass


def _run(command, stdin_text=None, env=None):
    try:
        return subprocess.run(command, input=stdin_text, capture_output=True, text=True, env=env)
    except OSError as error:
        raise SigningError("can't run %s: %s (install the Debian package %s)"
                           % (command[0], error, command[0]))


# OpenSSL's error lines: code:error:code:library:function:reason:source file:line:details
_OPENSSL_ERROR = re.compile(r"^[0-9A-F]+:error:[0-9A-F]+:[^:]*:[^:]*:([^:]*):[^:]*:\d+:(.*)$")


def _tool_says(result):
    """The reason a tool gives, without its listing of what went well or OpenSSL's source lines."""
    lines = [line.strip() for line in result.stderr.splitlines() if line.strip()]
    lines += [line.strip() for line in result.stdout.splitlines() if re.search(r"fail|error|mismatch", line, re.I)]
    said = []
    for line in lines:
        error = _OPENSSL_ERROR.match(line)
        line = " ".join(part.strip() for part in error.groups() if part.strip()) if error else line
        if line not in said:
            said.append(line)
    return "; ".join(said[:2]) or "no message, status %d" % result.returncode


def _chain(pkcs12, password, work):
    """Every certificate in the PKCS#12 file as PEM: the chain the signature is verified against.
    Reading it also proves the file and the password before anything is signed."""
    chain = os.path.join(work, "chain.pem")
    env = dict(os.environ, TLYN_SIGN_PASSWORD=password)
    result = _run(["openssl", "pkcs12", "-in", pkcs12, "-nokeys", "-passin", "env:TLYN_SIGN_PASSWORD",
                   "-out", chain], env=env)
    if result.returncode != 0:
        if "invalid password" in result.stderr or "mac verify" in result.stderr.lower():
            raise SigningError("wrong password for the signing certificate %s (TLYN_SIGN_PASSWORD)" % pkcs12)
        raise SigningError("the signing certificate %s is no PKCS#12 file that can be read: %s"
                           % (pkcs12, _tool_says(result)))
    with open(chain, encoding="ascii", errors="replace") as f:
        if "BEGIN CERTIFICATE" not in f.read():
            raise SigningError("the signing certificate %s holds no certificate" % pkcs12)
    return chain


def _sign(program, signed, pkcs12, password, when):
    command = ["osslsigncode", "sign", "-pkcs12", pkcs12, "-h", "sha256", "-n", DESCRIPTION,
               "-time", str(when), "-in", program, "-out", signed]
    # The password goes through a pipe, never onto a command line where other users can read it;
    # osslsigncode reads no empty password that way, so an empty one is given as it is.
    if password:
        command[4:4] = ["-readpass", "-"]
        result = _run(command, stdin_text=password)
    else:
        command[4:4] = ["-pass", ""]
        result = _run(command)
    if result.returncode != 0 or not os.path.isfile(signed):
        raise SigningError("osslsigncode could not sign the program: %s" % _tool_says(result))


def _verify(signed, chain):
    # Revocation lists are not fetched: there is no network here, and Windows checks revocation
    # itself when the user runs the program.
    result = _run(["osslsigncode", "verify", "-in", signed, "-CAfile", chain, "-ignore-cdp"])
    if result.returncode != 0:
        raise SigningError("the signed program does not verify against the chain in the certificate "
                           "file: %s" % _tool_says(result))


def sign_program(data, pkcs12, password, when):
    """The program `data` signed with the certificate in `pkcs12`, signing time `when` (seconds
    since 1970), verified. Raises SigningError with the reason; nothing is left on the disk."""
    try:
        with open(pkcs12, "rb"):
            pass
    except OSError as error:
        raise SigningError("can't read the signing certificate %s (TLYN_SIGN_PKCS12): %s"
                           % (pkcs12, error.strerror or error))
    with tempfile.TemporaryDirectory(prefix="tlyn-signing.") as work:
        chain = _chain(pkcs12, password, work)
        program = os.path.join(work, "unsigned.exe")
        signed = os.path.join(work, "signed.exe")
        with open(program, "wb") as f:
            f.write(data)
        _sign(program, signed, pkcs12, password, when)
        _verify(signed, chain)
        with open(signed, "rb") as f:
            return f.read()
