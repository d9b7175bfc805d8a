#!/usr/bin/env python3
"""Hostile clients against `orvello serve` on 127.0.0.1, every loop bounded in count and time.

    bench/serve_hostile.py [--binary build/orvello] [--dir build/bench] [--seconds 30]

Starts the real program with --port 0 in a copy of a 1,000-page corpus (bench/make_corpus.py)
and prints one Markdown table row per case:

- drip: 1,000 connections that each send one header byte every 3 s, plus 64 held reload streams;
  a normal page request (a fresh connection, the whole answer read) every 0.25 s meanwhile.
- silent: 300 connections that connect and send nothing; the same page requests.
- streams-idle: the server's CPU time over 10 s with 64 reload streams open and nothing else.
- headers: 100 MB of 50-byte headers on one connection: the answer, and the server's resident
  memory sampled while it is sent and after the connection closed.
- body: a GET announcing a 300 MB body: the answer, and how much of the body was sent before it.
- big-page: a 200 MB .htm (the reload script is spliced in) fetched three times at once: resident
  memory sampled during the transfer, and whether all three answers were whole.
- poll-idle: `serve --poll` on the 1,000-page project: CPU time over 20 s idle.

The open-files limit of this script is raised to its hard limit for the 1,000+ connections.
SERVE_STDERR=1 shows the server's standard error (a sanitizer build's reports, say).
"""
import argparse
import os
import resource
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TICKS = os.sysconf("SC_CLK_TCK")
PAGE = "/s000/t00/page000000.htm"  # a normal page of the corpus, reload script and all


def start_serve(binary, work, extra=()):
    child = subprocess.Popen([binary, "serve", "--port", "0", *extra], cwd=work,
                             stdout=subprocess.PIPE, stderr=sys.stderr if os.environ.get("SERVE_STDERR") else subprocess.DEVNULL, text=True)
    deadline = time.monotonic() + 120
    while time.monotonic() < deadline:
        line = child.stdout.readline()
        if line.startswith("Serving site/ at http://127.0.0.1:"):
            port = int(line.split(":")[2].split("/")[0])
            threading.Thread(target=child.stdout.read, daemon=True).start()  # keep it draining
            return child, port
        if not line and child.poll() is not None:
            break
    child.kill()
    sys.exit("orvello serve did not start")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


class RssSampler:
    """Samples the server's resident memory every 20 ms until stopped; the highest seen."""

    def __init__(self, pid):
        self.pid, self.peak, self.running = pid, 0, True
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        while self.running:
            self.peak = max(self.peak, rss_kib(self.pid))
            time.sleep(0.02)

    def stop(self):
        self.running = False
        self.thread.join()
        return self.peak


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=10)


def page_request_ms(port, target=PAGE):
    """Milliseconds for one request on a fresh connection, to the end of the answer (or None)."""
    started = time.monotonic()
    try:
        with connect(port) as s:
            s.sendall(f"GET {target} HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n".encode())
            answer = b""
            while chunk := s.recv(65536):
                answer += chunk
    except OSError:
        return None
    return (time.monotonic() - started) * 1000 if answer.startswith(b"HTTP/1.1 200") else None


def reload_stream(port):
    """An event stream past its first event; a page told 503 (all places held) retries, as the
    reload script does, up to 20 times."""
    for _ in range(20):
        s = connect(port)
        s.sendall(b"GET /__orvello/reload HTTP/1.1\r\nHost: x\r\n\r\n")
        first = b""
        while b"\n\n" not in first and (chunk := s.recv(4096)):
            first += chunk
        if first.startswith(b"HTTP/1.1 200"):
            return s
        s.close()
        time.sleep(0.25)
    sys.exit("no place for an event stream")


def reload_streams(port, count):
    return [reload_stream(port) for _ in range(count)]


def measure_requests(port, seconds):
    times, failed = [], 0
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        took = page_request_ms(port)
        if took is None:
            failed += 1
        else:
            times.append(took)
        time.sleep(0.25)
    return times, failed


def latency_row(name, times, failed, rss):
    if not times:
        return f"| {name} | no request answered, {failed} failed |"
    return (f"| {name} | {len(times)} requests, {failed} failed; median {statistics.median(times):.1f} ms, "
            f"max {max(times):.1f} ms; server RSS up to {rss / 1024:.1f} MiB |")


def drip_case(pid, port, seconds):
    streams = reload_streams(port, 64)
    drippers = [connect(port) for _ in range(1000)]
    for s in drippers:
        s.setblocking(False)
    request = b"GET /s000/t00/page000000.htm HTTP/1.1\r\nHost: x\r\nX-Slow: " + b"a" * 4096
    stop = threading.Event()

    def drip():
        at = 0
        while not stop.wait(3) and at < len(request):
            for s in drippers:
                try:
                    s.send(request[at:at + 1])
                except OSError:
                    pass
            at += 1

    sender = threading.Thread(target=drip, daemon=True)
    sender.start()
    sampler = RssSampler(pid)
    times, failed = measure_requests(port, seconds)
    rss = sampler.stop()
    stop.set()
    sender.join()
    for s in drippers + streams:
        s.close()
    return latency_row("1,000 dripping connections + 64 reload streams", times, failed, rss)


def silent_case(pid, port, seconds):
    silent = [connect(port) for _ in range(300)]
    sampler = RssSampler(pid)
    times, failed = measure_requests(port, seconds)
    rss = sampler.stop()
    for s in silent:
        s.close()
    return latency_row("300 silent connections", times, failed, rss)


def streams_idle_case(pid, port):
    streams = reload_streams(port, 64)
    time.sleep(1)
    before = cpu_ticks(pid)
    time.sleep(10)
    used = cpu_ticks(pid) - before
    for s in streams:
        s.close()
    return f"| 64 reload streams open, idle 10 s | {used / TICKS * 1000:.0f} ms of CPU ({used / TICKS / 10 * 100:.2f}% of a core) |"


def headers_case(pid, port):
    sampler = RssSampler(pid)
    s = connect(port)
    s.sendall(b"GET /s000/t00/page000000.htm HTTP/1.1\r\nHost: x\r\n")
    line = b"X-Filler: " + b"v" * 38 + b"\r\n"
    chunk = line * 20000
    sent = 0
    try:
        while sent < 100 * 1000 * 1000:
            s.sendall(chunk)
            sent += len(chunk)
    except OSError:
        pass
    try:
        answer = s.recv(64).split(b"\r\n")[0].decode()
    except OSError as error:
        answer = f"no answer ({error})"
    s.close()
    during = sampler.stop()
    time.sleep(1)
    after = rss_kib(pid)
    return (f"| 100 MB of headers on one connection | {answer!r} after {sent / 1e6:.1f} MB sent; "
            f"RSS up to {during / 1024:.1f} MiB during, {after / 1024:.1f} MiB after |")


def body_case(pid, port):
    sampler = RssSampler(pid)
    s = connect(port)
    s.sendall(b"GET /s000/t00/page000000.htm HTTP/1.1\r\nHost: x\r\nContent-Length: 300000000\r\n\r\n")
    s.settimeout(5)
    sent = 0
    answer = ""
    block = b"b" * 65536
    s.setblocking(False)
    deadline = time.monotonic() + 20
    while sent < 300 * 1000 * 1000 and time.monotonic() < deadline and not answer:
        try:
            answer = s.recv(64).split(b"\r\n")[0].decode()
        except BlockingIOError:
            pass
        except OSError:
            break
        try:
            sent += s.send(block)
        except BlockingIOError:
            time.sleep(0.001)
        except OSError:
            break
    s.close()
    rss = sampler.stop()
    return (f"| GET with a 300 MB body | {answer!r} after {sent / 1e6:.1f} MB of the body sent; "
            f"RSS up to {rss / 1024:.1f} MiB |")


def big_page_case(pid, port, work):
    page = os.path.join(work, "site", "big.htm")
    with open(page, "wb") as out:
        line = b"<p>" + b"x" * 1020 + b"</p>\n"
        for _ in range(200 * 1024):
            out.write(line)
        out.write(b"</body></html>\n")
    expected = os.path.getsize(page)
    sampler = RssSampler(pid)
    sizes = [0, 0, 0]

    def fetch(i):
        with connect(port) as s:
            s.settimeout(60)
            s.sendall(b"GET /big.htm HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            while chunk := s.recv(1 << 20):
                sizes[i] += len(chunk)

    fetchers = [threading.Thread(target=fetch, args=(i,)) for i in range(3)]
    started = time.monotonic()
    for f in fetchers:
        f.start()
    for f in fetchers:
        f.join()
    took = time.monotonic() - started
    rss = sampler.stop()
    os.remove(page)
    whole = all(size > expected for size in sizes)  # headers and the script come on top
    return (f"| a {expected / 2**20:.0f} MiB .htm fetched three times at once | "
            f"{'all whole' if whole else 'cut short: ' + str(sizes)} in {took:.1f} s; "
            f"RSS up to {rss / 1024:.1f} MiB |")


def poll_idle_case(binary, work):
    child, _ = start_serve(binary, work, ["--poll"])
    time.sleep(2)
    before = cpu_ticks(child.pid)
    time.sleep(20)
    used = cpu_ticks(child.pid) - before
    child.terminate()
    child.wait(timeout=30)
    return f"| serve --poll idle 20 s, 1,000 pages | {used / TICKS * 1000:.0f} ms of CPU ({used / TICKS / 20 * 100:.2f}% of a core) |"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", default=os.path.join(REPO, "build/orvello"))
    parser.add_argument("--dir", default=os.path.join(REPO, "build/bench"))
    parser.add_argument("--seconds", type=float, default=30)
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)  # the server runs in the project folder
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    corpus = os.path.join(args.dir, "serve-corpus-1000")
    if not os.path.isdir(os.path.join(corpus, "proj")):
        subprocess.run([sys.executable, os.path.join(REPO, "bench/make_corpus.py"), corpus,
                        "--pages", "1000"], check=True, stdout=subprocess.DEVNULL)
    work = os.path.join(args.dir, "serve-hostile")
    shutil.rmtree(work, ignore_errors=True)
    shutil.copytree(os.path.join(corpus, "proj"), os.path.join(work, "proj"))
    print(f"# {time.strftime('%Y-%m-%d', time.gmtime())} on {os.cpu_count()} cores, {os.uname().release}\n")
    print("| case | figure |\n|---|---|")
    child, port = start_serve(args.binary, work)
    try:
        print(latency_row("no other connection", *measure_requests(port, 5), rss_kib(child.pid)), flush=True)
        print(drip_case(child.pid, port, args.seconds), flush=True)
        print(silent_case(child.pid, port, args.seconds), flush=True)
        print(streams_idle_case(child.pid, port), flush=True)
        print(headers_case(child.pid, port), flush=True)
        print(body_case(child.pid, port), flush=True)
        print(big_page_case(child.pid, port, work), flush=True)
    finally:
        child.terminate()
        child.wait(timeout=30)
    print(poll_idle_case(args.binary, work), flush=True)
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
