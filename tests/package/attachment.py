#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Writes the attachments of a stored mail into a folder.

    attachment.py MESSAGE.eml OUTPUT_FOLDER

Prints each attachment's file name, one a line.
"""
import email
import email.policy
import os
import sys

with open(sys.argv[1], "rb") as f:
    message = email.message_from_binary_file(f, policy=email.policy.default)
for part in message.iter_attachments():
    name = part.get_filename()
    with open(os.path.join(sys.argv[2], os.path.basename(name)), "wb") as out:
        out.write(part.get_payload(decode=True))
    print(name)
