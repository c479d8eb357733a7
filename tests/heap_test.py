"""Neither program allocates on the heap but for the buffers that the C library gives the
standard streams it uses: standard output for echoback, standard input and output for sendline."""
import re

from echoback_test import exchange
from harness import check, work_file
from sendline_test import ask

log = work_file("heap.valgrind")
for program, run, streams in (("echoback", lambda w: exchange(b"heap", wrapper=w), 1),
                              ("sendline", lambda w: ask(b"heap\n", wrapper=w), 2)):
    run(("valgrind", f"--log-file={log}"))
    with open(log) as summary:
        usage = re.search(r"total heap usage: ([\d,]+) allocs", summary.read())
    check(usage and int(usage[1].replace(",", "")) == streams,
          f"{program} made {usage and usage[1]} heap allocations, expected {streams}")
    print(f"{program}: {streams} allocations, its streams' buffers")
print("passed")
