#!/usr/bin/env python3
"""Times orvello lsp from a change of a large buffer to the findings it publishes.

Opens a command file of LINES lines (title, text, code, link and image blocks in turn, with a few
mistakes) in a scratch project, then sends CHANGES edits one at a time, each an incremental change
of one line, and waits for the publishDiagnostics that answers it. Prints the median, the 95th
percentile and the largest wall time from the change being written to the findings being read,
and the server's CPU time (user + sys) per change, from its rusage after it exits.

    bench/lsp_benchmark.py [--lines 2000] [--changes 200] [--orvello build/orvello]
"""
import argparse
import json
import os
import resource
import statistics
import subprocess
import tempfile
import time


def page(lines):
    blocks = [
        ["@title", "@@text A heading", "@@size 40", "@end_title"],
        ["@text", "@@width 50em"] + [f"a line of the panel {i}" for i in range(12)] + ["@end_text"],
        ["@code"] + [f"int x{i} = {i};" for i in range(12)] + ["@end_code"],
        ["@link", "@@url missing.htm", "@@text Next", "@end_link"],
        ["@image", "@@src img/a.png", "@@width 120", "@end_image"],
    ]
    out = []
    while len(out) < lines:
        for block in blocks:
            out.extend(block)
    return "\n".join(out[:lines]) + "\n"


class Client:
    def __init__(self, orvello):
        self.server = subprocess.Popen([orvello, "lsp"], stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE)

    def send(self, message):
        body = json.dumps(message).encode()
        self.server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.server.stdin.flush()

    def receive(self):
        length = None
        while True:
            line = self.server.stdout.readline()
            if line in (b"\r\n", b""):
                break
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":")[1])
        return json.loads(self.server.stdout.read(length))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--lines", type=int, default=2000)
    parser.add_argument("--changes", type=int, default=200)
    repo = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--orvello", default=os.path.join(repo, "build", "orvello"))
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as scratch:
        os.makedirs(os.path.join(scratch, "proj", "img"))
        open(os.path.join(scratch, "proj", "img", "a.png"), "wb").close()
        path = os.path.join(scratch, "proj", "page.orv")
        text = page(args.lines)
        with open(path, "w") as file:
            file.write(text)
        uri = "file://" + path
        client = Client(args.orvello)
        client.send({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": {}})
        client.receive()
        client.send({"jsonrpc": "2.0", "method": "textDocument/didOpen", "params": {
            "textDocument": {"uri": uri, "languageId": "orvello", "version": 1, "text": text}}})
        found = len(client.receive()["params"]["diagnostics"])
        times = []
        for change in range(args.changes):
            line = 1 + 20 * (change % (args.lines // 20))  # "@@text A heading" lines and others
            edit = {"range": {"start": {"line": line, "character": 0},
                              "end": {"line": line, "character": 0}}, "text": "x" if change % 2 == 0 else ""}
            if change % 2 == 1:  # take the character back out again
                edit["range"]["end"]["character"] = 1
            start = time.perf_counter()
            client.send({"jsonrpc": "2.0", "method": "textDocument/didChange", "params": {
                "textDocument": {"uri": uri, "version": change + 2}, "contentChanges": [edit]}})
            client.receive()
            times.append(time.perf_counter() - start)
        client.send({"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
        client.receive()
        client.send({"jsonrpc": "2.0", "method": "exit"})
        client.server.wait()
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    times.sort()
    print(f"# {args.lines} lines, {found} findings, {args.changes} changes, {os.cpu_count()} cores")
    print(f"change to findings: median {statistics.median(times) * 1e3:.2f} ms, "
          f"p95 {times[int(0.95 * len(times)) - 1] * 1e3:.2f} ms, max {times[-1] * 1e3:.2f} ms")
    print(f"server CPU (user+sys) per change, open included: "
          f"{(usage.ru_utime + usage.ru_stime) / args.changes * 1e3:.2f} ms")


if __name__ == "__main__":
    main()
