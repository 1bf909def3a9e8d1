#!/usr/bin/env python3
"""make_release_zip.py ZIP EPOCH NAME=FILE...: writes the release package ZIP
holding each FILE as the entry NAME (in the order given), with nothing in it
that depends on when, where or by whom it is made: every entry has the time
EPOCH (seconds since 1970, in UTC; times before 1980, which zip cannot hold,
become 1980-01-01), the permissions rw-r--r--, no extra fields and no comment.
Text entries (*.txt) get Windows line ends."""
import sys
import time
import zipfile

# The earliest time a zip entry can hold.
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


def entry_time(epoch):
    """The zip time of EPOCH, in UTC."""
    stamp = time.gmtime(epoch)[:6]
    return max(stamp, ZIP_EPOCH)


def content_of(name, path):
    """The bytes to pack from PATH as the entry NAME: text with CR LF line ends."""
    with open(path, 'rb') as f:
        data = f.read()
    if name.endswith('.txt'):
        data = data.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
    return data


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    target, epoch, entries = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    if not all('=' in entry for entry in entries):
        sys.exit(__doc__)
    with zipfile.ZipFile(target, 'w') as archive:
        for entry in entries:
            name, path = entry.split('=', 1)
            info = zipfile.ZipInfo(name, entry_time(epoch))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3                  # Unix, so that the mode below counts
            info.external_attr = 0o100644 << 16     # a regular file, rw-r--r--
            archive.writestr(info, content_of(name, path), compresslevel=9)


if __name__ == '__main__':
    main()
