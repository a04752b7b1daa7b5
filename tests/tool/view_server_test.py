"""The live view's server as a client without a browser sees it: the token, the methods and paths it
answers, malformed and hostile requests, its limit of pages, its memory and the camera's stream while
pages watch, and its stop on SIGTERM.

Usage: view_server_test.py QMV3_TOOL
"""
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

TOOL = sys.argv[1]


def start_view(*arguments):
    # Under the address sanitizer freed memory waits in a quarantine before reuse, which would show as
    # growth of the resident memory this test bounds; a small quarantine keeps the check meaningful.
    environment = dict(os.environ)
    environment["ASAN_OPTIONS"] = ":".join(filter(None, [environment.get("ASAN_OPTIONS"), "quarantine_size_mb=1"]))
    process = subprocess.Popen([TOOL, "view", "--rate", "50", *arguments], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, env=environment)
    line = process.stdout.readline()
    match = re.match(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})$", line.strip())
    assert match, "unexpected first line %r (stderr %r)" % (line, process.stderr.read() if process.poll() else "")
    return process, int(match.group(1)), match.group(2)


def exchange(port, data, timeout=5.0):
    """Sends raw bytes, returns the status code of the answer (0 when the server closed without one)."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as connection:
        try:
            connection.sendall(data)
        except OSError:
            pass
        answer = b""
        try:
            while b"\r\n" not in answer:
                chunk = connection.recv(4096)
                if not chunk:
                    break
                answer += chunk
        except OSError:
            pass
    match = re.match(rb"HTTP/1\.[01] (\d{3})", answer)
    return int(match.group(1)) if match else 0


def get(port, target, method="GET"):
    return exchange(port, ("%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" % (method, target)).encode())


class EventClient:
    """A page's event stream: reads events until closed, counting them."""

    def __init__(self, port, token):
        self.connection = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.connection.sendall(("GET /events?token=%s HTTP/1.1\r\nHost: x\r\n\r\n" % token).encode())
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self.connection.recv(4096)
            if not chunk:
                break
            head += chunk
        self.status = int(re.match(rb"HTTP/1\.[01] (\d{3})", head).group(1)) if head else 0
        self.events = 0
        self.running = self.status == 200
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        try:
            while self.running:
                chunk = self.connection.recv(65536)
                if not chunk:
                    break
                self.events += chunk.count(b"data: {")
        except OSError:
            pass

    def close(self):
        self.running = False
        self.connection.close()


def resident_kib(pid):
    with open("/proc/%d/status" % pid) as status:
        return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))


def status_of(port, token):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as connection:
        connection.sendall(("GET /status?token=%s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n" % token).encode())
        answer = b""
        while True:
            chunk = connection.recv(65536)
            if not chunk:
                break
            answer += chunk
    body = answer.split(b"\r\n\r\n", 1)[1].decode()
    return {key: float(value) for key, value in re.findall(r'"(\w+)":([0-9.]+)', body)}


def main():
    os.environ.setdefault("ORSEL_CLIENTLIB_LOGGING_PATH", tempfile.mkdtemp())
    process, port, token = start_view()
    try:
        wrong = "0" * 32 if token != "0" * 32 else "1" * 32
        # Who may ask for what: (request target, method, expected status).
        table = [
            ("/", "GET", 403),
            ("/?token=" + wrong, "GET", 403),
            ("/?token=" + token[:-1], "GET", 403),
            ("/?token=" + token + "0", "GET", 403),
            ("/view.js", "GET", 403),
            ("/?token=" + token, "GET", 200),
            ("/view.js?token=" + token, "GET", 200),
            ("/view.css?token=" + token, "GET", 200),
            ("/info?token=" + token, "GET", 200),
            ("/?token=" + token, "POST", 405),
            ("/?token=" + token, "PUT", 405),
            ("/?token=" + token, "DELETE", 405),
            ("/../../etc/passwd?token=" + token, "GET", 404),
            ("/%2e%2e/%2e%2e/etc/passwd?token=" + token, "GET", 404),
            ("/view.js/../../etc/passwd?token=" + token, "GET", 404),
            ("//etc/passwd?token=" + token, "GET", 404),
            ("/frame?i=0&token=" + token, "GET", 404),  # a camera has no frames on request
            ("/roi?x=1&y=2&w=-3&h=4&token=" + token, "GET", 400),
            ("/settings?palette=sepia&token=" + token, "GET", 400),
        ]
        for target, method, expected in table:
            got = get(port, target, method)
            assert got == expected, "%s %s: status %d, expected %d" % (method, target, got, expected)

        # Malformed and hostile requests: whatever the answer, the server lives on.
        hostile = [
            b"GARBAGE\r\n\r\n",
            b"GET\r\n\r\n",
            b"GET / HTTP/9.9\r\n\r\n",
            b"GET /?token=" + token.encode() + b" HTTP/1.1\r\nHost: x\r\nX: " + b"a" * 200000 + b"\r\n\r\n",
            b"GET /?token=" + token.encode() + b" HTTP/1.1\r\n" + b"X-A: b\r\n" * 5000 + b"\r\n",
            b"GET /" + b"a" * 100000 + b" HTTP/1.1\r\n\r\n",
            b"GET /?token=\x00\xff\xfe HTTP/1.1\r\n\r\n",
            b"GET /?token=" + token.encode() + b" HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\nxx",
            b"GET /?token=" + token.encode() + b" HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
            b"GET /?token=" + token.encode() + b" HTTP/1.1\r\nHost: x",  # never finished
            b"\r\n" * 10000,
            bytes(range(256)) * 64,
        ]
        for data in hostile:
            status = exchange(port, data, timeout=8)
            assert status in (0, 400, 403, 404, 405, 413, 414, 431, 501, 505), "hostile request %r answered %d" % (data[:60], status)
            assert process.poll() is None, "the server died on %r" % data[:60]
            assert get(port, "/?token=" + token) == 200, "the server stopped answering after %r" % data[:60]
        assert get(port, "/roi?x=0&y=0&w=0&h=0&token=" + token) == 200

        # At most eight pages: the ninth is refused, and served once one of the eight goes.
        clients = [EventClient(port, token) for _ in range(8)]
        assert [client.status for client in clients] == [200] * 8, [client.status for client in clients]
        ninth = EventClient(port, token)
        assert ninth.status == 503, "the ninth page got %d" % ninth.status
        ninth.close()
        clients.pop().close()
        deadline = time.time() + 5
        while time.time() < deadline:
            again = EventClient(port, token)
            if again.status == 200:
                break
            again.close()
            time.sleep(0.3)
        assert again.status == 200, "a page was refused after one of the eight went away"
        clients.append(again)
        for client in clients[4:]:
            client.close()
        clients = clients[:4]

        # Four pages for 30 seconds: bounded memory, every page fed, the stream loses nothing to them.
        time.sleep(3)
        before = resident_kib(process.pid)
        start = status_of(port, token)
        counts = [client.events for client in clients]
        time.sleep(30)
        after = resident_kib(process.pid)
        fed = [client.events - count for client, count in zip(clients, counts)]
        status = status_of(port, token)
        assert after - before < 16 * 1024, "resident memory grew by %d KiB" % (after - before)
        assert min(fed) >= 100, "a page got only %d frames in 30 s (%r)" % (min(fed), fed)
        dropped = status["drops"] - start["drops"]
        assert dropped == 0, "the stream dropped %d frames while four pages watched" % dropped
        assert status["delivered"] - start["delivered"] >= 400, status
        for client in clients:
            client.close()
    finally:
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            started = time.time()
            process.wait(timeout=10)
            assert time.time() - started < 1.5, "SIGTERM took %.1f s" % (time.time() - started)
    assert process.returncode == 0, "exit status %d after SIGTERM" % process.returncode
    print("view server: %d requests of the table, %d hostile requests, 8 pages and a refused ninth, "
          "4 pages for 30 s: fine" % (len(table), len(hostile)))


if __name__ == "__main__":
    main()
