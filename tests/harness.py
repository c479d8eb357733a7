"""Starts the project's programs as black boxes and talks to them as a plain UDP peer."""
import contextlib
import os
import pty
import re
import select
import signal
import socket
import subprocess
import sys
import time

# A faked clock, such as libfaketime's under reprotest, breaks the deadlines, which measure real
# time: the test starts again without it.
if "faketime" in os.environ.get("LD_PRELOAD", ""):
    PRELOAD = [name for name in re.split("[: ]", os.environ["LD_PRELOAD"]) if "faketime" not in name]
    os.execve(sys.executable, [sys.executable, *sys.orig_argv[1:]],
              {**os.environ, "LD_PRELOAD": " ".join(PRELOAD)})

ENDPOINT = ("127.0.0.1", 2000)
# /proc/net/udp writes an address as the number that its four bytes make in the machine's own
# byte order, and the port as a number: 0100007F:07D0 on a little-endian machine.
ENDPOINT_PROC_NAME = "%08X:%04X" % (int.from_bytes(socket.inet_aton(ENDPOINT[0]), sys.byteorder),
                                    ENDPOINT[1])
# The programs run under valgrind, which cannot start with standard error closed.
WRAPPED = bool(os.environ.get("PROGRAM_WRAPPER"))
KEEPS_STANDARD_ERROR = WRAPPED


def slowness():
    """How many times longer than on an ordinary machine the tests' work takes here, at least 1: a
    fixed loop times the processor (an emulated one takes tens of times longer), and valgrind
    slows the start of a program several times more."""
    start = time.perf_counter()
    total = 0
    for number in range(200000):
        total += number
    return max(1.0, (time.perf_counter() - start) / 0.04) * (3 if WRAPPED else 1)


# How long to wait for what a working program does at once, before calling it a failure. Each wait
# ends as soon as the awaited thing happens, so only a failing test waits this long.
DEADLINE = 10.0 * slowness()
TEXT_LIMIT = 1999


def message_text(payload):
    """What either program makes of a payload: the bytes before the first zero, bounded."""
    return payload.split(b"\0")[0][:TEXT_LIMIT]


def fail(message):
    sys.exit(f"FAIL: {message}")


def check(condition, message):
    if not condition:
        fail(message)


def udp_socket(port=0, host="127.0.0.1"):
    peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    peer.bind((host, port))
    peer.settimeout(DEADLINE)
    return peer


def require_free_endpoint():
    """Stops the test with a clear message when another process holds the exchange endpoint."""
    try:
        udp_socket(ENDPOINT[1]).close()
    except OSError as error:
        fail(f"another process holds UDP {ENDPOINT[0]}:{ENDPOINT[1]} ({error}); "
             "stop it and run the test again")


def sockets(pid):
    """The (descriptor, inode) of each socket that a process and its children hold."""
    found = set()
    with contextlib.suppress(OSError):
        with open(f"/proc/{pid}/task/{pid}/children") as children:
            for child in children.read().split():
                found |= sockets(int(child))
        for fd in os.listdir(f"/proc/{pid}/fd"):
            with contextlib.suppress(OSError):
                target = os.readlink(f"/proc/{pid}/fd/{fd}")
                if target.startswith("socket:["):
                    found.add((int(fd), target[8:-1]))
    return found


def check_socket_above_standard(process):
    """Checks that the program's socket has a number above the standard descriptors'."""
    numbers = [fd for fd, _ in sockets(process.pid)]
    check(numbers and min(numbers) > 2, f"the program's sockets have the numbers {numbers}")


def local_addresses(process):
    """Where the program's sockets are bound (or were given a port by a first send). A socket that
    the kernel lists with port 0 is in the middle of its bind, and left out until it has its port."""
    inodes = {inode for _, inode in sockets(process.pid)}
    with open("/proc/net/udp") as table:
        rows = [row.split() for row in table.readlines()[1:]]
    return {row[1] for row in rows if row[9] in inodes and not row[1].endswith(":0000")}


def ended_early(process, what):
    output, errors = process.communicate(timeout=DEADLINE)
    fail(f"the program ended before {what}, status {process.returncode}, output {output[-200:]!r}, "
         f"standard error {errors!r}")


def wait_for_bind(process):
    """Returns once the process itself has bound the exchange endpoint; fails at once when it has
    bound another address."""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        if process.poll() is not None:
            ended_early(process, "binding")
        bound = local_addresses(process)
        if ENDPOINT_PROC_NAME in bound:
            return
        check(not bound, f"the program bound {bound}, not {ENDPOINT_PROC_NAME}")
        time.sleep(0.005)
    fail(f"the program did not bind {ENDPOINT[0]}:{ENDPOINT[1]} within {DEADLINE} s")


def receive_request(responder, process):
    """Returns the first datagram at the endpoint and its source; fails soon after a send elsewhere."""
    end = time.monotonic() + DEADLINE
    sent = None
    while time.monotonic() < end:
        if select.select([responder], [], [], 0.02)[0]:
            return responder.recvfrom(200000)
        if process.poll() is not None:
            ended_early(process, "a request came")
        if sent is None and local_addresses(process):
            sent = time.monotonic()
        check(sent is None or time.monotonic() - sent < DEADLINE / 10, "the program sent its request elsewhere")
    fail(f"no request came within {DEADLINE} s")


def failing(call):
    """The environment that makes one named call fail in the program it starts. The loader splits
    LD_PRELOAD at spaces, so the library is named bare there and found on the library path."""
    folder, library = os.path.split(os.environ["FAIL_CALL_LIBRARY"])
    return {"LD_PRELOAD": library, "LD_LIBRARY_PATH": folder, "FAIL_CALL": call,
            "ASAN_OPTIONS": "verify_asan_link_order=0"}


def work_file(name):
    """The path of a file that a test leaves in its build folder, to be read after a failure."""
    return os.path.join(os.environ.get("TEST_WORK_DIR", "."), name)


def check_socket_calls(run, name, expected_calls, fragments):
    """Has run(wrapper, environment) start the program under strace, then checks that it made
    exactly the socket calls expected, in order, with each fragment in the trace."""
    path = work_file(f"{name}.strace")
    # LeakSanitizer cannot work in a program that runs under a tracer.
    run(("strace", "-qq", "-e", "trace=socket,setsockopt,bind,connect,recvfrom,sendto", "-o", path),
        {"ASAN_OPTIONS": "detect_leaks=0"})
    with open(path) as trace:
        text = trace.read()
    calls = [line.split("(")[0] for line in text.splitlines()]
    check(calls == expected_calls, f"calls made: {calls}")
    for fragment in fragments:
        check(fragment in text, f"{fragment!r} is not in the trace:\n{text}")


@contextlib.contextmanager
def running(program, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, wrapper=(), environment=None,
            closed=(), arguments=()):
    """Starts a program, under the wrapper that PROGRAM_WRAPPER names if any, with the descriptors
    in closed closed, and makes sure that it is gone when the block ends: it runs in a process
    group of its own, which is ended whole, so that a wrapper's child cannot outlive it."""
    outer = os.environ.get("PROGRAM_WRAPPER", "").split()
    process = subprocess.Popen([*outer, *wrapper, program, *arguments], stdin=stdin, stdout=stdout,
                               stderr=subprocess.PIPE, env={**os.environ, **(environment or {})},
                               start_new_session=True,
                               preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
    try:
        yield process
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.communicate()


def finish(process, expected_status=0):
    """Waits for the program to end and returns its standard output."""
    try:
        output, errors = process.communicate(timeout=DEADLINE)
    except subprocess.TimeoutExpired:
        fail("the program did not end in time")
    check(errors == b"", f"standard error is not empty: {errors!r}")
    check(process.returncode == expected_status,
          f"exit status {process.returncode}, expected {expected_status}; output {output!r}")
    return output


class Terminal:
    """A pseudo-terminal whose slave side is a program's standard input and output."""

    def __init__(self):
        self.master, self.slave = pty.openpty()
        self.screen = b""

    def wait_for(self, text):
        end = time.monotonic() + DEADLINE
        while text not in self.screen:
            ready, _, _ = select.select([self.master], [], [], max(0.0, end - time.monotonic()))
            check(ready, f"{text!r} did not appear on the terminal; it shows {self.screen!r}")
            try:
                self.screen += os.read(self.master, 65536)
            except OSError:  # the program has ended and closed the terminal
                fail(f"{text!r} never appeared on the terminal; it shows {self.screen!r}")

    def close(self):
        os.close(self.master)
        os.close(self.slave)


def run_group(tests):
    """Runs the group of cases that the command line names, test_<group> among tests."""
    tests["test_" + sys.argv[1]]()
    print("passed")
