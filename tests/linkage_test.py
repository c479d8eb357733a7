"""Each program given needs no shared library but the C library."""
import subprocess
import sys

for program in sys.argv[1:]:
    dynamic = subprocess.run(["readelf", "-d", program], capture_output=True, text=True, check=True)
    needed = [line.split("[")[1].rstrip("]") for line in dynamic.stdout.splitlines() if "(NEEDED)" in line]
    if needed != ["libc.so.6"]:
        sys.exit(f"FAIL: {program} needs {needed}")
print("passed")
