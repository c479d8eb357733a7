"""Starts the project's programs as black boxes and talks to them as a plain UDP peer."""
import contextlib
import os
import pty
import select
import socket
import subprocess
import sys
import time

ENDPOINT = ("127.0.0.1", 2000)
ENDPOINT_PROC_NAME = "0100007F:07D0"  # how /proc/net/udp writes 127.0.0.1:2000
DEADLINE = 10.0
TEXT_LIMIT = 1999


def message_text(payload):
    """What either program makes of a payload: the bytes before the first zero, bounded."""
    return payload.split(b"\0")[0][:TEXT_LIMIT]


def fail(message):
    sys.exit(f"FAIL: {message}")


def check(condition, message):
    if not condition:
        fail(message)


def udp_socket(port=0):
    peer = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    peer.bind(("127.0.0.1", port))
    peer.settimeout(DEADLINE)
    return peer


def require_free_endpoint():
    """Stops the test with a clear message when another process holds the exchange endpoint."""
    try:
        udp_socket(ENDPOINT[1]).close()
    except OSError as error:
        fail(f"another process holds UDP {ENDPOINT[0]}:{ENDPOINT[1]} ({error}); "
             "stop it and run the test again")


def socket_inodes(pid):
    """The sockets that a process and its children (a tracer's tracee, say) hold."""
    inodes = set()
    with contextlib.suppress(OSError):
        with open(f"/proc/{pid}/task/{pid}/children") as children:
            for child in children.read().split():
                inodes |= socket_inodes(int(child))
        for fd in os.listdir(f"/proc/{pid}/fd"):
            with contextlib.suppress(OSError):
                target = os.readlink(f"/proc/{pid}/fd/{fd}")
                if target.startswith("socket:["):
                    inodes.add(target[8:-1])
    return inodes


def wait_for_bind(process):
    """Returns once the process itself has bound the exchange endpoint."""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        check(process.poll() is None, f"the program ended before binding, status {process.returncode}")
        with open("/proc/net/udp") as table:
            bound = {row.split()[9] for row in table.readlines()[1:]
                     if row.split()[1] == ENDPOINT_PROC_NAME}
        if bound & socket_inodes(process.pid):
            return
        time.sleep(0.005)
    fail(f"the program did not bind {ENDPOINT[0]}:{ENDPOINT[1]} within {DEADLINE} s")


def failing(call):
    """The environment that makes one named socket call fail in the program it starts."""
    return {"LD_PRELOAD": os.environ["FAIL_CALL_LIBRARY"], "FAIL_CALL": call,
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
            closed=()):
    """Starts a program, under the wrapper that PROGRAM_WRAPPER names if any, with the descriptors
    in closed closed, and makes sure that it is gone when the block ends."""
    outer = os.environ.get("PROGRAM_WRAPPER", "").split()
    process = subprocess.Popen([*outer, *wrapper, program], stdin=stdin, stdout=stdout,
                               stderr=subprocess.PIPE, env={**os.environ, **(environment or {})},
                               preexec_fn=(lambda: [os.close(fd) for fd in closed]) if closed else None)
    try:
        yield process
    finally:
        if process.poll() is None:
            process.kill()
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
