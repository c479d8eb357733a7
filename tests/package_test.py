"""Makes the Debian package, unpacks it into a scratch root, and runs one exchange with the
programs that it installed there."""
import glob
import gzip
import os
import re
import subprocess
import sys
import tempfile

from harness import check, finish, require_free_endpoint, running

build, run_exchange = sys.argv[1:]
INSTALLED = ("usr/bin/echoback", "usr/bin/sendline",
             "usr/share/man/man1/echoback.1.gz", "usr/share/man/man1/sendline.1.gz",
             "usr/share/doc/echoback/copyright", "usr/share/doc/echoback/changelog.gz")

with tempfile.TemporaryDirectory() as scratch:
    subprocess.run(["cpack", "-G", "DEB", "--config", f"{build}/CPackConfig.cmake", "-B", scratch],
                   check=True, stdout=subprocess.DEVNULL)
    [package] = glob.glob(f"{scratch}/*.deb")
    fields = subprocess.run(["dpkg-deb", "-f", package, "Package", "Version", "Maintainer", "Depends"],
                            capture_output=True, text=True, check=True).stdout
    check("Depends: libc6 (>= " in fields, f"package fields:\n{fields}")
    root = os.path.join(scratch, "root")
    subprocess.run(["dpkg", "-x", package, root], check=True)
    for path in INSTALLED:
        check(os.path.isfile(os.path.join(root, path)), f"{path} is not in the package")
    version = re.search(r"^Version: (\S+)$", fields, re.M)[1]
    with gzip.open(os.path.join(root, "usr/share/doc/echoback/changelog.gz"), "rt") as changelog:
        check(changelog.readline().startswith(f"echoback ({version})"), f"the changelog does not begin with {version}")
    require_free_endpoint()
    with running(run_exchange, arguments=(os.path.join(root, "usr/bin"),)) as shown:
        output = finish(shown)
    check(b"Client Message: Hello, echoback\n" in output
          and b"Enter Message: Server Message: Hello, echoback\n" in output,
          f"the installed programs did not complete an exchange: {output!r}")
print("passed")
