#!/usr/bin/env python3
"""Writes the test mailbox as a maildir, with Python's email package, and a manifest that
tells what a client must find in it.

    make_mailbox.py MAILDIR MANIFEST [--big-base64 MIB] [--big-qp MIB]

Manifest lines (tab-separated):
    message N SUBJECT FROM SHA256-OF-THE-MESSAGE-AS-SENT(CRLF) SIZE
    file N NAME SHA256 SIZE
    text N SNIPPET          (a piece of text the reader must be shown)
"""
import argparse
import hashlib
import os
import random
import sys
from email import encoders
from email.charset import QP, Charset
from email.message import Message
from email.mime.application import MIMEApplication
from email.mime.base import MIMEBase
from email.mime.message import MIMEMessage
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText
from email.policy import SMTP


def binary(size, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


def qp_utf8():
    charset = Charset("utf-8")
    charset.body_encoding = QP
    return charset


def uuencode(data, name):
    import binascii
    lines = [f"begin 644 {name}\n"]
    for i in range(0, len(data), 45):
        lines.append(binascii.b2a_uu(data[i:i + 45]).decode("ascii"))
    lines.append("`\nend\n")
    return "".join(lines)


def headers(msg, n, subject):
    msg["From"] = f"Sender {n} <sender{n}@example.org>"
    msg["To"] = "tester@example.org"
    msg["Subject"] = subject
    msg["Date"] = f"Mon, 0{n % 9 + 1} Jan 2024 10:00:00 +0000"
    msg["Message-ID"] = f"<volttcp-{n}@example.org>"
    return msg


def build(big_base64, big_qp):
    """(message, subject, files{name: bytes}, texts[str]) in mailbox order."""
    out = []

    m = headers(MIMEText("Hello from the plain message.\n.A line that starts with a dot.\nBye.\n"), 1,
                "Plain message")
    out.append((m, [], ["Hello from the plain message.", ".A line that starts with a dot."]))

    alt = MIMEMultipart("alternative")
    alt.attach(MIMEText("Caf\u00e9 cr\u00e8me, na\u00efve text; a long line " + "x" * 90 + " end.\n",
                        "plain", qp_utf8()))
    alt.attach(MIMEText("<p>Caf\u00e9 <b>cr\u00e8me</b></p>\n", "html", qp_utf8()))
    out.append((headers(alt, 2, "Alternative with quoted-printable"), [], ["<p>Caf\u00e9 <b>cr\u00e8me</b></p>"]))

    mixed = MIMEMultipart("mixed")
    mixed.attach(MIMEText("See the attached binary.\n"))
    blob = binary(200 * 1024, 3)
    att = MIMEApplication(blob, "octet-stream")
    att.add_header("Content-Disposition", "attachment", filename="random.bin")
    mixed.attach(att)
    out.append((headers(mixed, 3, "Mixed with a binary attachment"), [("random.bin", blob)],
                ["See the attached binary."]))

    outer = MIMEMultipart("mixed")
    inner = MIMEMultipart("alternative")
    inner.attach(MIMEText("nested plain\n"))
    inner.attach(MIMEText("<i>nested html</i>\n", "html"))
    outer.attach(inner)
    doc = binary(5000, 4)
    att = MIMEApplication(doc, "pdf")
    att.add_header("Content-Disposition", "attachment", filename="report.pdf")
    outer.attach(att)
    outer.attach(MIMEText("text after the attachment\n"))
    out.append((headers(outer, 4, "Nested multipart"), [("report.pdf", doc)],
                ["nested plain", "text after the attachment"]))

    embedded = MIMEMultipart("mixed")
    embedded["Subject"] = "The forwarded one"
    embedded.attach(MIMEText("inside the forwarded message\n"))
    inner_blob = binary(3000, 5)
    att = MIMEApplication(inner_blob, "octet-stream")
    att.add_header("Content-Disposition", "attachment", filename="inner.dat")
    embedded.attach(att)
    wrapper = MIMEMultipart("mixed")
    wrapper.attach(MIMEText("A message is attached.\n"))
    wrapper.attach(MIMEMessage(embedded))
    out.append((headers(wrapper, 5, "Attached message"), [("inner.dat", inner_blob)],
                ["A message is attached.", "inside the forwarded message"]))

    uu_data = binary(1000, 6)
    m = headers(MIMEText("Before the file.\n" + uuencode(uu_data, "embedded.bin") + "After the file.\n"), 6,
                "=?UTF-8?B?" + __import__("base64").b64encode("Embedded uuencode \u2713".encode()).decode() + "?=")
    out.append((m, [("embedded.bin", uu_data)], ["Before the file.", "After the file."]))

    single = Message()
    single_blob = binary(10000, 7)
    single.set_payload(single_blob)
    single["Content-Type"] = "image/png"
    single.add_header("Content-Disposition", "attachment", filename="\u00e9t\u00e9.png")
    encoders.encode_base64(single)
    out.append((headers(single, 7, "Single-part base64"), [("\u00e9t\u00e9.png", single_blob)], []))

    n = len(out)
    if big_base64:
        big = MIMEMultipart("mixed")
        big.attach(MIMEText("A big attachment.\n"))
        data = binary(big_base64 << 20, 8) if big_base64 <= 4 else os.urandom(big_base64 << 20)
        att = MIMEApplication(data, "octet-stream")
        att.add_header("Content-Disposition", "attachment", filename="big.bin")
        big.attach(att)
        n += 1
        out.append((headers(big, n, "Big base64"), [("big.bin", data)], []))
    if big_qp:
        rng = random.Random(9)
        words = ["caf\u00e9", "na\u00efve", "plain", "text", "quoted", "printable", "=equals", "tab\t", "\u00fcber"]
        lines, size = [], 0
        while size < big_qp << 20:
            line = " ".join(rng.choice(words) for _ in range(rng.randint(5, 25))) + "\n"
            lines.append(line)
            size += len(line.encode())
        text = "".join(lines)
        big = MIMEMultipart("mixed")
        big.attach(MIMEText("A big text part.\n"))
        part = MIMEText(text, "plain", qp_utf8())
        part.add_header("Content-Disposition", "attachment", filename="big.txt")
        big.attach(part)
        n += 1
        # Hard line breaks travel as CR LF.
        out.append((headers(big, n, "Big quoted-printable"), [("big.txt", text.replace("\n", "\r\n").encode())], []))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("maildir")
    parser.add_argument("manifest")
    parser.add_argument("--big-base64", type=int, default=0, help="add a message with an attachment of MIB")
    parser.add_argument("--big-qp", type=int, default=0, help="add a message with a text part of MIB")
    parser.add_argument("--only-big", action="store_true", help="leave out the seven small messages")
    args = parser.parse_args()
    for sub in ("cur", "new", "tmp"):
        os.makedirs(os.path.join(args.maildir, sub), exist_ok=True)
    messages = build(args.big_base64, args.big_qp)
    if args.only_big:
        messages = messages[7:]
    with open(args.manifest, "w", encoding="utf-8") as manifest:
        for number, (msg, files, texts) in enumerate(messages, 1):
            data = msg.as_bytes(policy=SMTP.clone(linesep="\n"))
            # Ordered by name: the time stamp part sorts the messages.
            name = f"{1700000000 + number}.M{number}P1.volttcp:2,"
            with open(os.path.join(args.maildir, "cur", name), "wb") as f:
                f.write(data)
            sent = data.replace(b"\n", b"\r\n")
            subject = msg["Subject"]
            manifest.write(f"message\t{number}\t{subject}\t{msg['From']}\t{hashlib.sha256(sent).hexdigest()}"
                           f"\t{len(sent)}\n")
            for fname, content in files:
                manifest.write(f"file\t{number}\t{fname}\t{hashlib.sha256(content).hexdigest()}\t{len(content)}\n")
            for snippet in texts:
                manifest.write(f"text\t{number}\t{snippet}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
