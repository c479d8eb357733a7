"""Many runs and many datagrams, bounded in count and time, on loopback only."""
import random

from echoback_test import ECHOBACK, console, exchange, random_datagram
from harness import (ENDPOINT, check, fail, finish, require_free_endpoint, run_group, running,
                     udp_socket, wait_for_bind)
from sendline_test import whole_exchange

SEED = random.randrange(1 << 30)
generator = random.Random(SEED)
print(f"seed {SEED}")


def test_exchanges():
    printable = bytes(range(32, 127))
    for _ in range(200):
        whole_exchange(bytes(generator.choices(printable, k=generator.randrange(2000))) + b"\n")


def test_burst():
    require_free_endpoint()
    with udp_socket() as peer, running(ECHOBACK) as responder:
        wait_for_bind(responder)
        for number in range(20000):
            peer.sendto(b"burst %d" % number, ENDPOINT)
        check(finish(responder) == console(peer.getsockname()[1], b"burst 0"), "console")
        check(peer.recv(100) == b"burst 0", "the reply is not the first datagram's text")
        # echoback has ended, so any second reply would be here already.
        peer.setblocking(False)
        try:
            fail(f"a second reply came: {peer.recv(100)!r}")
        except BlockingIOError:
            pass


def test_datagrams():
    for _ in range(100):
        exchange(random_datagram(generator))


if __name__ == "__main__":
    run_group(globals())
