#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks the mail in one Maildir (or single message files) with Python's
own MIME parser, against what a test expected. Prints "ok" or one line per
difference, and exits 0 either way unless the input is unusable.

    check_mail.py EXPECT.json

EXPECT.json (UTF-8; a file path may hold bytes that are not):
  "maildir":  folder whose new/ and cur/ hold the messages, or
  "files":    list of message files
  "wait_seconds": how long to wait for the expected messages to arrive
  "messages": [{"subject", "from", "body", "attachments": [name, source, ...]}]
              each must be there exactly once, found by its subject
  "missing_subjects": subjects that must not be there
  "hidden":   texts that no header written by the sender may contain
  "absent":   texts that must occur nowhere in any message
"""
import email
import email.policy
import json
import os
import sys
import time

# Headers the receiving server adds on delivery; they name the recipient.
DELIVERY_HEADERS = {"return-path", "delivered-to", "x-original-to", "received"}


def message_files(expect):
    if "files" in expect:
        return list(expect["files"])
    found = []
    for sub in ("new", "cur"):
        folder = os.path.join(expect["maildir"], sub)
        if os.path.isdir(folder):
            found += [os.path.join(folder, name) for name in sorted(os.listdir(folder))]
    return found


def load(expect):
    messages = []
    for path in message_files(expect):
        with open(path, "rb") as f:
            raw = f.read()
        messages.append((path, raw, email.message_from_bytes(raw, policy=email.policy.default)))
    return messages


def with_subject(messages, subject):
    return [m for m in messages if str(m[2]["subject"]) == subject]


def wait_for(expect):
    deadline = time.monotonic() + expect.get("wait_seconds", 0)
    while True:
        messages = load(expect)
        if all(with_subject(messages, e["subject"]) for e in expect.get("messages", [])):
            return messages
        if time.monotonic() > deadline:
            return messages
        time.sleep(0.05)


def lines(text):
    return text.replace("\r\n", "\n").split("\n")


def check_message(expected, path, raw, msg, problems):
    where = os.path.basename(path)
    if "from" in expected and str(msg["from"]) != expected["from"]:
        problems.append(f"{where}: From is {msg['from']!r}")
    if msg["date"] is None or msg["date"].datetime is None:
        problems.append(f"{where}: no usable Date")
    if not str(msg["message-id"] or "").startswith("<"):
        problems.append(f"{where}: no Message-ID")
    parts = [p for p in msg.walk() if not p.is_multipart()]
    text = [p for p in parts if p.get_content_type() == "text/plain" and not p.get_filename()]
    if len(text) != 1:
        problems.append(f"{where}: {len(text)} text parts")
    elif lines(text[0].get_content()) != lines(expected["body"]):
        problems.append(f"{where}: body {text[0].get_content()!r} != {expected['body']!r}")
    got = [(p.get_filename(), p.get_payload(decode=True)) for p in parts if p.get_filename()]
    pairs = expected.get("attachments", [])  # name, source, name, source, ...
    want = []
    for name, source in zip(pairs[0::2], pairs[1::2]):
        with open(source, "rb") as f:
            want.append((name, f.read()))
    if [g[0] for g in got] != [w[0] for w in want]:
        problems.append(f"{where}: attachment names {[g[0] for g in got]!r} != {[w[0] for w in want]!r}")
    elif [g[1] for g in got] != [w[1] for w in want]:
        problems.append(f"{where}: attachment bytes differ")
    for part in msg.walk():
        if part.defects:
            problems.append(f"{where}: parser defects {part.defects!r}")


def check_headers(expect, path, raw, msg, problems):
    where = os.path.basename(path)
    for name, value in msg.items():
        if name.lower() in DELIVERY_HEADERS:
            continue
        for text in expect.get("hidden", []):
            if text.lower() in str(value).lower():
                problems.append(f"{where}: header {name} shows {text}")
    for text in expect.get("absent", []):
        if text.encode("utf-8").lower() in raw.lower():
            problems.append(f"{where}: contains {text}")


def main():
    # A path that is not UTF-8 arrives as its raw bytes and is opened as such.
    with open(sys.argv[1], encoding="utf-8", errors="surrogateescape") as f:
        expect = json.load(f)
    messages = wait_for(expect)
    problems = []
    for expected in expect.get("messages", []):
        found = with_subject(messages, expected["subject"])
        if len(found) != 1:
            problems.append(f"{len(found)} messages with subject {expected['subject']!r}")
            continue
        check_message(expected, *found[0], problems)
    for subject in expect.get("missing_subjects", []):
        if with_subject(messages, subject):
            problems.append(f"unexpected message with subject {subject!r}")
    ids = [str(m[2]["message-id"]) for m in messages]
    if len(set(ids)) != len(ids):
        problems.append("Message-IDs repeat")
    for path, raw, msg in messages:
        check_headers(expect, path, raw, msg, problems)
    print("\n".join(problems) if problems else "ok")


if __name__ == "__main__":
    main()
