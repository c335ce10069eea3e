#!/usr/bin/env python3
"""Puts COUNT small ordinary mails straight into a test mailbox's Maildir/new,
owned by the mail server's user, so a mailbox of thousands of messages is
ready in a second instead of thousands of SMTP deliveries.

    fill_mailbox.py MAILSTACK_DIR USER COUNT
"""
import os
import pwd
import sys
import time


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    stack, user, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    maildir = os.path.join(stack, "mail", user, "Maildir")
    owner = pwd.getpwnam("mail")
    for sub in ("", "new", "cur", "tmp"):
        path = os.path.join(maildir, sub)
        os.makedirs(path, exist_ok=True)
        os.chown(path, owner.pw_uid, owner.pw_gid)
    now = int(time.time())
    for i in range(count):
        name = "%d.M%06dP%d.fill" % (now, i, os.getpid())
        text = ("From: %s@sina.test\r\nTo: %s@sina.test\r\nSubject: note %d\r\n"
                "Message-ID: <fill%d.%d@sina.test>\r\n\r\nfiller %d\r\n" % (user, user, i, now, i, i))
        tmp = os.path.join(maildir, "tmp", name)
        with open(tmp, "w") as f:
            f.write(text)
        os.chown(tmp, owner.pw_uid, owner.pw_gid)
        os.rename(tmp, os.path.join(maildir, "new", name))


if __name__ == "__main__":
    main()
