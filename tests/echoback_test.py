"""Black-box tests of echoback: a UDP peer on loopback sends it one datagram per run."""
import os
import random
import select

from harness import (ENDPOINT, KEEPS_STANDARD_ERROR, Terminal, check, check_socket_above_standard,
                     check_socket_calls, fail, failing, finish, message_text, require_free_endpoint,
                     run_group, running, udp_socket, wait_for_bind)

ECHOBACK = os.environ["ECHOBACK"]
HEAD = b"Socket Created\nBind Done\nListening for Messages...\n\n"


def console(port, text, host=b"127.0.0.1"):
    return HEAD + b"Received Message from IP: %s and Port No: %d\nClient Message: %s\n" % (host, port, text)


def exchange(payload, peer_port=0, peer_host="127.0.0.1", wrapper=(), environment=None, closed=()):
    """One run of echoback answering payload; checks console, reply and status. With standard
    output closed the console is lost; with any standard descriptor closed, the socket must not
    take its number."""
    require_free_endpoint()
    with udp_socket(peer_port, peer_host) as peer, \
            running(ECHOBACK, wrapper=wrapper, environment=environment, closed=closed) as responder:
        wait_for_bind(responder)
        if closed:
            check_socket_above_standard(responder)
        peer.sendto(payload, ENDPOINT)
        output = finish(responder)
        reply, source = peer.recvfrom(70000)
        port = peer.getsockname()[1]
        check(not select.select([peer], [], [], 0)[0], "a second datagram came")
    text = message_text(payload)
    check(source == ENDPOINT, f"the reply came from {source}")
    check(reply == text, f"reply {reply[:80]!r}... ({len(reply)} bytes), expected {len(text)} bytes")
    check(output == (b"" if 1 in closed else console(port, text, peer_host.encode())),
          f"console {output[-200:]!r}")


def high_port_peer():
    for port in range(65535, 32767, -1):
        try:
            udp_socket(port).close()
            return port
        except OSError:
            continue
    fail("no free UDP port above 32767")


def random_datagram(generator):
    """Random bytes, around the buffer's size or up to the largest datagram, sometimes with one
    zero byte among them."""
    length = generator.choice((generator.randrange(2100), generator.randrange(65508)))
    payload = bytearray(generator.randbytes(length).replace(b"\0", b"."))
    if payload and generator.random() < 0.3:
        payload[generator.randrange(len(payload))] = 0
    return bytes(payload)


def test_payloads():
    cases = {
        "word": b"hello, world",
        "empty datagram": b"",
        "zero byte inside": b"before\0after",
        "control and high bytes": bytes(range(1, 256)),
        "1999 bytes": b"x" * 1999,
    }
    for name, payload in cases.items():
        print(f"payload: {name}")
        exchange(payload)
    print("payload: source port above 32767")
    exchange(b"port", peer_port=high_port_peer())
    print("payload: from another loopback address")
    exchange(b"elsewhere", peer_host="127.0.0.2")
    for closed in ((1,), (2,), (0, 1, 2)):
        print(f"payload: standard descriptors {closed} closed")
        if 2 not in closed or not KEEPS_STANDARD_ERROR:
            exchange(b"unseen", closed=closed)


def test_oversize():
    for length in (2000, 2001, 65507):
        print(f"oversize: {length} bytes without a zero byte")
        exchange(bytes(random.Random(length).randrange(1, 256) for _ in range(length)))
    seed = random.randrange(1 << 30)
    print(f"random datagrams, seed {seed}")
    generator = random.Random(seed)
    for _ in range(12):
        exchange(random_datagram(generator))


def test_syscalls():
    check_socket_calls(lambda wrapper, environment: exchange(b"hi", wrapper=wrapper, environment=environment),
                       "echoback", ["socket", "bind", "recvfrom", "sendto"],
                       ["socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)", 'sin_addr=inet_addr("127.0.0.1")}, 16) = 0',
                        '"hi", 2000, 0, ', ', [16]) = 2', 'sendto(3, "hi", 2, 0, '])


def test_second_instance():
    require_free_endpoint()
    with udp_socket() as peer, running(ECHOBACK) as first:
        wait_for_bind(first)
        with running(ECHOBACK) as second:
            check(finish(second, 255) == b"Socket Created\nBind Failed. Error!!!!!\n", "second console")
        peer.sendto(b"still there", ENDPOINT)
        check(peer.recvfrom(100)[0] == b"still there", "the first one did not answer")
        check(finish(first) == console(peer.getsockname()[1], b"still there"), "first console")


def test_terminal():
    require_free_endpoint()
    terminal = Terminal()
    with udp_socket() as peer, running(ECHOBACK, stdout=terminal.slave) as responder:
        terminal.wait_for(HEAD.replace(b"\n", b"\r\n"))
        wait_for_bind(responder)
        peer.sendto(b"on screen", ENDPOINT)
        terminal.wait_for(b"Client Message: on screen\r\n")
        finish(responder)
    terminal.close()


def test_failures():
    # fcntl fails only where the socket would take the number of a closed standard descriptor.
    cases = [("socket", False, (), b"Could Not Create Socket. Error!!!!!\n"),
             ("fcntl", False, (0,), b"Could Not Create Socket. Error!!!!!\n"),
             ("recvfrom", False, (), HEAD + b"Receive Failed. Error!!!!!\n"),
             ("sendto", True, (), b"Send Failed. Error!!!!!\n")]
    for call, send, closed, last_lines in cases:
        print(f"failing {call}")
        require_free_endpoint()
        with udp_socket() as peer, running(ECHOBACK, environment=failing(call), closed=closed) as responder:
            if send:
                wait_for_bind(responder)
                peer.sendto(b"lost", ENDPOINT)
                last_lines = console(peer.getsockname()[1], b"lost") + last_lines
            check(finish(responder, 255) == last_lines, f"console after failing {call}")


if __name__ == "__main__":
    run_group(globals())
