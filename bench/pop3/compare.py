#!/usr/bin/env python3
"""Decoding speed of the POP3 component against ripmime, munpack and Python's email package on
the same messages in the same run: a 50 MiB base64 attachment and a 50 MiB quoted-printable
text part, served by a private dovecot on 127.0.0.1 (tests/peers/dovecot.sh).

    bench/pop3/compare.py BUILD_DIR [--mib 50] [--rounds 3]

Decode alone: each tool reads the message as the server sends it (CR LF lines) and writes the
attachment; the component is fed from memory in 32 KiB chunks (bench/pop3_bench decode).
End to end: from the connection to the attachment on disk; the component retrieves it itself,
the others take it from curl's POP3 client through a pipe (Python: poplib). munpack gets the
message with Unix line ends (a sed in its pipe), since it garbles quoted-printable soft line
breaks in CR LF text. Every output is
checked against the SHA-256 the generator recorded. MB/s of the message's size, median of the
rounds; beside each, the same from processor time (every process of the tool, so start-up
and reading the file count for the others but not for the component's decode-alone figure).
The yardstick for end to end, "read only": the message read over a plain socket and dropped,
with the processor time dovecot's own process spent sending it.
Needs the Debian packages dovecot-pop3d, ripmime, mpack and curl.
"""
import argparse
import hashlib
import resource
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PEER = os.path.join(HERE, "..", "..", "tests", "peers", "dovecot.sh")

PY_DECODE = r"""
import email, email.policy, os, sys
with open(sys.argv[1], 'rb') as f:
    data = f.read() if sys.argv[1] != '-' else None
if data is None:
    data = sys.stdin.buffer.read()
msg = email.message_from_bytes(data, policy=email.policy.compat32)
for part in msg.walk():
    name = part.get_filename()
    if name:
        with open(os.path.join(sys.argv[2], name), 'wb') as out:
            out.write(part.get_payload(decode=True))
"""

PY_FETCH = r"""
import email, os, poplib, sys
host, port, user, password, number, outdir = sys.argv[1:7]
box = poplib.POP3(host, int(port))
box.user(user)
box.pass_(password)
lines = box.retr(int(number))[1]
box.quit()
msg = email.message_from_bytes(b'\r\n'.join(lines) + b'\r\n')
for part in msg.walk():
    name = part.get_filename()
    if name:
        with open(os.path.join(outdir, name), 'wb') as out:
            out.write(part.get_payload(decode=True))
"""


# The yardstick for end to end: the message read from the server over a plain socket and dropped,
# with the processor time the server's own process spent sending it (found through the socket).
PY_READ = r"""
import os, socket, sys, time
host, port, user, password, number = sys.argv[1:6]
sock = socket.create_connection((host, int(port)))
def reply(end=b"\r\n"):
    data = b""
    while not data.endswith(end):
        data += sock.recv(65536)
    return data
reply()
sock.sendall(f"USER {user}\r\n".encode()); reply()
sock.sendall(f"PASS {password}\r\n".encode()); reply()
local = "%08X:%04X" % (0x0100007F, sock.getsockname()[1])
inodes = set()
with open("/proc/net/tcp") as table:
    for row in table.readlines()[1:]:
        f = row.split()
        if f[2] == local:
            inodes.add(f[9])
server = None
for pid in filter(str.isdigit, os.listdir("/proc")):
    try:
        if any(os.readlink(f"/proc/{pid}/fd/{fd}") in {f"socket:[{i}]" for i in inodes}
               for fd in os.listdir(f"/proc/{pid}/fd")):
            server = pid
    except OSError:
        pass
def cpu():
    if not server:
        return 0.0
    f = open(f"/proc/{server}/stat").read().rsplit(")", 1)[1].split()
    return (int(f[11]) + int(f[12])) / os.sysconf("SC_CLK_TCK")
before, start = cpu(), time.perf_counter()
sock.sendall(f"RETR {number}\r\n".encode())
tail, total = b"", 0
while not tail.endswith(b"\r\n.\r\n"):
    block = sock.recv(1 << 20)
    if not block:
        sys.exit("connection closed")
    total += len(block)
    tail = (tail + block)[-5:]
wall, used = time.perf_counter() - start, cpu() - before
sock.sendall(b"QUIT\r\n"); reply()
print(f"{wall:.4f} {used:.4f} {total}" + ("" if server else " no-server-process"))
"""


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def timed(command, shell=False):
    """Wall seconds and the processor seconds of every process it started."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    done = subprocess.run(command, shell=shell, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"compare.py: {command} failed: {done.stderr.decode(errors='replace')}")
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def find_output(outdir, name):
    """ripmime and munpack may rename; the file with the expected name, else the largest one."""
    path = os.path.join(outdir, name)
    if os.path.exists(path):
        return path
    files = [os.path.join(outdir, f) for f in os.listdir(outdir)]
    return max(files, key=os.path.getsize) if files else None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--mib", type=int, default=50)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--server", help="a running dovecot.sh directory whose mailbox already holds the messages")
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench", "pop3_bench")
    for tool in ("ripmime", "munpack", "curl", "/usr/sbin/dovecot"):
        if not shutil.which(tool):
            sys.exit(f"compare.py: {tool} is missing (Debian packages ripmime, mpack, curl, dovecot-pop3d)")

    work = tempfile.mkdtemp(prefix="volttcp-pop3-bench-")
    server = os.path.join(work, "server")
    os.mkdir(server)
    try:
        if args.server:
            server = args.server
            conf = open(os.path.join(server, "dovecot.conf")).read()
            port = conf.split("port = ")[1].split()[0]
            password = open(os.path.join(server, "passwd")).readline().strip().split("}", 1)[1]
        else:
            port, password = subprocess.run([PEER, "start", server], check=True, capture_output=True,
                                            text=True).stdout.split()
            subprocess.run([PEER, "mailbox", server, "tester", "--only-big", "--big-base64", str(args.mib),
                            "--big-qp", str(args.mib)], check=True)
        manifest = [line.rstrip("\n").split("\t") for line in open(os.path.join(server, "tester.manifest"))]
        messages = {int(f[1]): {"subject": f[2]} for f in manifest if f[0] == "message"}
        for f in manifest:
            if f[0] == "file":
                messages[int(f[1])].update(name=f[2], sha=f[3])
        maildir = os.path.join(server, "home", "tester", "Maildir", "cur")
        stored = sorted(os.listdir(maildir))
        print(f"{'message':24} {'tool':10} {'decode MB/s':>12} {'(cpu)':>8} {'end to end MB/s':>16} {'(cpu)':>8}")
        results = {}
        notes = set()
        same_text = {}
        for number, info in sorted(messages.items()):
            with open(os.path.join(maildir, stored[number - 1]), "rb") as f:
                sent = f.read().replace(b"\n", b"\r\n")
            message = os.path.join(work, f"message{number}.eml")
            with open(message, "wb") as f:
                f.write(sent)
            # munpack takes Unix line ends: with CR LF it turns soft line breaks into garbage.
            message_lf = os.path.join(work, f"message{number}.lf.eml")
            with open(message_lf, "wb") as f:
                f.write(sent.replace(b"\r\n", b"\n"))
            size = len(sent)
            url = f"pop3://127.0.0.1:{port}/{number}"
            curl = f"curl -s --user tester:{password} {url}"
            tools = {
                "VoltTCP": ([bench, "decode", message, "{out}", "1"],
                            [bench, "retrieve", "127.0.0.1", port, "tester", password, str(number), "{out}"]),
                "ripmime": (["ripmime", "-i", message, "-d", "{out}", "--no-nameless"],
                            f"{curl} | ripmime -i - -d {{out}} --no-nameless"),
                "munpack": (["munpack", "-q", "-C", "{out}", message_lf],
                            f"{curl} | sed 's/\\r$//' | munpack -q -C {{out}}"),
                "python": (["python3", "-c", PY_DECODE, message, "{out}"],
                           ["python3", "-c", PY_FETCH, "127.0.0.1", port, "tester", password, str(number), "{out}"]),
            }
            for tool, (decode, e2e) in tools.items():
                cells = []
                for kind, command in (("decode", decode), ("e2e", e2e)):
                    seconds, cpu = [], []
                    for _ in range(args.rounds):
                        out = tempfile.mkdtemp(dir=work)
                        if isinstance(command, str):
                            cmd, shell = command.replace("{out}", out), True
                        else:
                            cmd, shell = [c.replace("{out}", out) for c in command], False
                        if tool == "VoltTCP" and kind == "decode":
                            # The program times its own decoding, without start-up and reading the file.
                            result = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout.split()
                            seconds.append(float(result[0]))
                            cpu.append(float(result[1]))
                        else:
                            wall, used = timed(cmd, shell)
                            seconds.append(wall)
                            cpu.append(used)
                        got = find_output(out, info["name"])
                        if not got:
                            sys.exit(f"compare.py: {tool} {kind} wrote no {info['name']}")
                        if sha256(got) != info["sha"]:
                            # Text may come out with other line ends (LF, CR CR LF) or with the line
                            # break that belongs to the delimiter: the same text otherwise.
                            with open(got, "rb") as f:
                                text = hashlib.sha256(f.read().replace(b"\r", b"").rstrip(b"\n")).hexdigest()
                            if text != same_text.get(number):
                                sys.exit(f"compare.py: {tool} {kind} wrote a wrong {info['name']} ({got})")
                            notes.add(f"{tool} wrote {info['name']} with other line breaks")
                        elif tool == "VoltTCP":
                            with open(got, "rb") as f:
                                same_text[number] = hashlib.sha256(
                                    f.read().replace(b"\r", b"").rstrip(b"\n")).hexdigest()
                        shutil.rmtree(out)
                    cells.append(size / statistics.median(seconds) / 1e6)
                    cells.append(size / statistics.median(cpu) / 1e6)
                results[(number, tool)] = cells
                print(f"{info['subject']:24} {tool:10} {cells[0]:12.1f} {cells[1]:8.1f} {cells[2]:16.1f} {cells[3]:8.1f}",
                      flush=True)
            seconds, served = [], []
            for _ in range(args.rounds):
                out = subprocess.run(["python3", "-c", PY_READ, "127.0.0.1", port, "tester", password, str(number)],
                                     check=True, capture_output=True, text=True).stdout.split()
                seconds.append(float(out[0]))
                served.append(float(out[1]))
            read = size / statistics.median(seconds) / 1e6
            results[(number, "read")] = [read, size / max(statistics.median(served), 1e-3) / 1e6]
            print(f"{info['subject']:24} {'read only':10} {'':12} {'':8} {read:16.1f} "
                  f"(the server's own processor time: {statistics.median(served):.2f} s)", flush=True)
        for number, info in sorted(messages.items()):
            ours = results[(number, "VoltTCP")]
            for tool in ("ripmime", "munpack", "python"):
                other = results[(number, tool)]
                print(f"{info['subject']:24} vs {tool:8} decode x{ours[0] / other[0]:.2f} (cpu x{ours[1] / other[1]:.2f})  "
                      f"end to end x{ours[2] / other[2]:.2f} (cpu x{ours[3] / other[3]:.2f})")
        for number, info in sorted(messages.items()):
            ours, read = results[(number, "VoltTCP")], results[(number, "read")]
            print(f"{info['subject']:24} end to end x{ours[2] / read[0]:.2f} of a plain socket read; the server "
                  f"alone could send at most {read[1]:.1f} MB/s")
        for note in sorted(notes):
            print("note:", note)
    finally:
        if not args.server:
            subprocess.run([PEER, "stop", server])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
