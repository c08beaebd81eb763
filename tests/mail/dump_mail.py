#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Lists the messages of a Maildir with Python's own MIME parser and saves
their attachments, for tests that must open what was delivered.

    dump_mail.py MAILDIR OUTDIR

Prints one block per message, in file-name order:
    MAIL
    SUBJECT <subject>
    BODY <body with CR LF and LF written as \\n>
    ATTACH <file name as a reader shows it, with \\, LF and TAB written as
           \\\\, \\n and \\t><TAB><saved path>
"""
import email
import email.policy
import os
import sys


def main():
    maildir, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    paths = []
    for sub in ("new", "cur"):
        folder = os.path.join(maildir, sub)
        if os.path.isdir(folder):
            paths += [os.path.join(folder, name) for name in os.listdir(folder)]
    for index, path in enumerate(sorted(paths)):
        with open(path, "rb") as f:
            msg = email.message_from_bytes(f.read(), policy=email.policy.default)
        print("MAIL")
        print("SUBJECT " + str(msg["subject"]))
        for part in msg.walk():
            if part.is_multipart():
                continue
            name = part.get_filename()
            if name is None and part.get_content_type() == "text/plain":
                print("BODY " + part.get_content().replace("\r\n", "\n").replace("\n", "\\n"))
            elif name is not None:
                saved = os.path.join(outdir, f"{index}-{len(os.listdir(outdir))}.bin")
                with open(saved, "wb") as f:
                    f.write(part.get_payload(decode=True))
                shown = name.replace("\\", "\\\\").replace("\n", "\\n").replace("\t", "\\t")
                print("ATTACH " + shown + "\t" + saved)


if __name__ == "__main__":
    main()
