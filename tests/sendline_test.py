"""Black-box tests of sendline: a UDP peer bound to the exchange endpoint answers its request
with other text than it got, so that a reply can be told from an echo of the input."""
import contextlib
import os
import re
import tempfile
import time

from echoback_test import ECHOBACK, console
from harness import (DEADLINE, ENDPOINT, KEEPS_STANDARD_ERROR, Terminal, check,
                     check_socket_above_standard, check_socket_calls, failing, finish, local_addresses,
                     message_text, receive_request, require_free_endpoint, run_group, running, udp_socket,
                     wait_for_bind)

SENDLINE = os.environ["SENDLINE"]
PROMPT = b"Socket Created\nEnter Message: "


FOLDER = "a folder"
PAUSE = 0.5


def pause_while_idle(process):
    """Returns once the program has waited PAUSE seconds for input using almost no processor
    time; fails if it is still busy at the deadline."""
    def used():  # user and system time, from /proc
        with open(f"/proc/{process.pid}/stat") as stat:
            return sum(map(int, stat.read().rsplit(")", 1)[1].split()[11:13])) / os.sysconf("SC_CLK_TCK")

    end = time.monotonic() + DEADLINE
    while True:
        before = used()
        time.sleep(PAUSE)
        if used() - before < PAUSE / 5:
            return
        check(time.monotonic() < end, "sendline keeps the processor busy while it waits for input")


@contextlib.contextmanager
def input_file(data):
    """Yields standard input and what feeds it once the program runs: a file that holds bytes; a
    folder for FOLDER; for a list of parts, a non-blocking pipe written a part at a time, each
    followed by a pause, and then closed if the last part ends without a newline."""
    if isinstance(data, bytes):
        with tempfile.TemporaryFile() as stdin:
            stdin.write(data)
            stdin.seek(0)
            yield stdin, lambda process: None
    elif data == FOLDER:
        yield os.open("/", os.O_RDONLY), lambda process: None
    else:
        reading, writing = os.pipe()
        os.set_blocking(reading, False)

        def feed(process):
            for part in data:
                os.write(writing, part)
                pause_while_idle(process)
            if not data[-1].endswith(b"\n"):
                os.close(writing)

        yield reading, feed


def ask(line, answer=lambda request: b"<" + request[::-1] + b">", from_other_port=False,
        wrapper=(), environment=None, closed=()):
    """One run of sendline against the peer; checks its console (lost when standard output is
    closed), that it read the whole first line of an input file, and that its socket did not take
    the number of a closed standard descriptor; returns the request that it sent."""
    require_free_endpoint()
    with udp_socket(ENDPOINT[1]) as responder, udp_socket() as other, input_file(line) as (stdin, feed), \
            running(SENDLINE, stdin=stdin, wrapper=wrapper, environment=environment,
                    closed=closed) as sender:
        feed(sender)
        request, source = receive_request(responder, sender)
        if closed:
            check_socket_above_standard(sender)
        reply = answer(request)
        (other if from_other_port else responder).sendto(reply, source)
        output = finish(sender)
        if isinstance(line, bytes):
            consumed = os.lseek(stdin.fileno(), 0, os.SEEK_CUR)
            check(consumed >= (line.find(b"\n") + 1 or len(line)), f"only {consumed} bytes of input were read")
    expected = b"" if 1 in closed else PROMPT + b"Server Message: " + message_text(reply) + b"\n"
    check(output == expected, f"console {output[-120:]!r}")
    return request


def test_lines():
    cases = {
        "a word": (b"hello, world\n", b"hello, world"),
        "an empty line": (b"\n", b""),
        "end of input at once": (b"", b""),
        "a last line without newline": (b"no newline", b"no newline"),
        "a zero byte inside": (b"ab\0cd\n", b"ab"),
        "only the first line": (b"first\nsecond\n", b"first"),
        "control and high bytes": (bytes(range(11, 256)) + b"\n", bytes(range(11, 256))),
        "1999 characters": (b"x" * 1999 + b"\n", b"x" * 1999),
        "2000 characters": (b"y" * 2000 + b"\n", b"y" * 1999),
        "100000 characters": (b"z" * 100000 + b"\n", b"z" * 1999),
        "a non-blocking pipe, kept open, the line in two parts": ([b"first part, ", b"second part\n"],
                                                                  b"first part, second part"),
        "a non-blocking pipe, a last line without newline": ([b"no new", b"line"], b"no newline"),
        "a folder, which cannot be read": (FOLDER, b""),
    }
    for name, (line, expected) in cases.items():
        print(f"line: {name}")
        request = ask(line)
        check(request == expected, f"request {request[:60]!r}... ({len(request)} bytes)")
    for closed in ((0,), (0, 1, 2)):
        print(f"line: standard descriptors {closed} closed")
        if 2 not in closed or not KEEPS_STANDARD_ERROR:
            check(ask(b"", closed=closed) == b"", "a request came with standard input closed")


def test_replies():
    cases = {
        "from another port": {"from_other_port": True},
        "a zero byte inside": {"answer": lambda _: b"kept\0dropped"},
        "an empty reply": {"answer": lambda _: b""},
        "2000 bytes, no zero byte": {"answer": lambda _: b"r" * 2000},
        "65507 bytes, no zero byte": {"answer": lambda _: bytes(range(1, 256)) * 256 + b"s" * 227},
    }
    for name, options in cases.items():
        print(f"reply: {name}")
        ask(b"question\n", **options)


def test_syscalls():
    check_socket_calls(lambda wrapper, environment: ask(b"hi\n", wrapper=wrapper, environment=environment),
                       "sendline", ["socket", "sendto", "recvfrom"],
                       ["socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)", ', 2000, 0, ', ', [16]) = 4',
                        'sendto(3, "hi", 2, 0, {sa_family=AF_INET, sin_port=htons(2000), '
                        'sin_addr=inet_addr("127.0.0.1")}, 16) = 2'])


def whole_exchange(line):
    """echoback and sendline, the line from a pipe: both consoles, byte for byte."""
    require_free_endpoint()
    text = message_text(line.split(b"\n")[0])
    with running(ECHOBACK) as responder, input_file(line) as (stdin, _):
        wait_for_bind(responder)
        with running(SENDLINE, stdin=stdin) as sender:
            check(finish(sender) == PROMPT + b"Server Message: " + text + b"\n", "sendline console")
        output = finish(responder)
    port = re.search(rb"Port No: (\d+)\n", output)
    check(port and output == console(int(port[1]), text), f"echoback console {output!r}")


def test_exchange():
    whole_exchange(b"Hello, echoback\n")


def test_unanswered():
    require_free_endpoint()
    with input_file(b"anyone?\n") as (stdin, _), running(SENDLINE, stdin=stdin) as sender:
        end = time.monotonic() + DEADLINE
        while not local_addresses(sender):  # its socket has a port once the line is sent
            check(sender.poll() is None and time.monotonic() < end, "sendline did not send its line")
            time.sleep(0.005)
        time.sleep(1.5)  # how long to watch a program that must go on waiting
        check(sender.poll() is None, f"sendline ended with status {sender.returncode} unanswered")


def test_terminal():
    require_free_endpoint()
    terminal = Terminal()
    with udp_socket(ENDPOINT[1]) as responder, \
            running(SENDLINE, stdin=terminal.slave, stdout=terminal.slave) as sender:
        terminal.wait_for(b"Socket Created\r\nEnter Message: ")
        os.write(terminal.master, b"typed here\n")
        request, source = receive_request(responder, sender)
        check(request == b"typed here", f"request {request!r}")
        responder.sendto(b"answered", source)
        terminal.wait_for(b"Socket Created\r\nEnter Message: typed here\r\nServer Message: answered\r\n")
        finish(sender)
    terminal.close()


def test_failures():
    # fcntl fails only where the socket would take the number of a closed standard descriptor.
    cases = [("socket", (), b"Could Not Create Socket. Error!!!!!\n"),
             ("fcntl", (0,), b"Could Not Create Socket. Error!!!!!\n"),
             ("sendto", (), PROMPT + b"Send Failed. Error!!!!\n"),
             ("recvfrom", (), PROMPT + b"Receive Failed. Error!!!!!\n")]
    for call, closed, expected in cases:
        print(f"failing {call}")
        require_free_endpoint()
        with input_file(b"line\n") as (stdin, _), \
                running(SENDLINE, stdin=stdin, environment=failing(call), closed=closed) as sender:
            check(finish(sender, 255) == expected, f"console after failing {call}")


if __name__ == "__main__":
    run_group(globals())
