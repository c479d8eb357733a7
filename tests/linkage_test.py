"""Each program given needs no shared library but the C library (and its dynamic loader, which
arm64's programs name for the stack protector's guard), and runs nothing of its own before main:
its start-up table holds the C run-time's one entry (frame_dummy) alone."""
import os
import re
import subprocess
import sys


def readelf(*arguments):
    return subprocess.run(["readelf", "-W", *arguments], capture_output=True, text=True, check=True).stdout


for program in sys.argv[1:]:
    interpreter = re.findall(r"program interpreter: (.*)\]", readelf("-l", program))
    loader = [os.path.basename(path) for path in interpreter]
    needed = [line.split("[")[1].rstrip("]") for line in readelf("-d", program).splitlines() if "(NEEDED)" in line]
    if [name for name in needed if name not in loader] != ["libc.so.6"]:
        sys.exit(f"FAIL: {program} needs {needed}")
    start_up = [line.split("]", 1)[1].split() for line in readelf("-S", program).splitlines()
                if " .init_array " in line]
    # Columns after the name: type, address, offset, size, entry size (the pointer's, 4 or 8 bytes).
    if any(int(section[4], 16) > int(section[5], 16) for section in start_up):
        sys.exit(f"FAIL: {program} runs code of its own before main: {start_up}")
print("passed")
