"""Each manual page given renders without a single warning."""
import subprocess
import sys

for page in sys.argv[1:]:
    rendering = subprocess.run(["groff", "-man", "-ww", "-z", page], capture_output=True, text=True)
    if rendering.returncode != 0 or rendering.stderr:
        sys.exit(f"FAIL: {page}: {rendering.stderr}")
print("passed")
