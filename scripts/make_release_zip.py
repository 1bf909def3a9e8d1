#!/usr/bin/env python3
"""make_release_zip.py ZIP EPOCH NAME=FILE...: writes the release package ZIP
holding each FILE as the entry NAME (in the order given), with nothing in it
that depends on when, where or by whom it is made: every entry has the time
EPOCH (seconds since 1970, in UTC; times before 1980, which zip cannot hold,
become 1980-01-01), the permissions rw-r--r--, no extra fields and no comment.
Text entries (*.txt) get Windows line ends. ZIP is written under a temporary
name beside it and renamed when complete: a failure leaves no part of it."""
import os
import sys
import time
import zipfile

# The earliest time a zip entry can hold, and its last year.
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)
ZIP_LAST_YEAR = 2107


def entry_time(epoch):
    """The zip time of EPOCH, in UTC; exits with a message after the last year."""
    stamp = time.gmtime(epoch)[:6]
    if stamp[0] > ZIP_LAST_YEAR:
        sys.exit('make_release_zip.py: the time %d is after %d, the last year a zip '
                 'entry can hold' % (epoch, ZIP_LAST_YEAR))
    return max(stamp, ZIP_EPOCH)


def write_zip(target, epoch, entries):
    """Writes the entries NAME=FILE into the zip TARGET."""
    with zipfile.ZipFile(target, 'w') as archive:
        for entry in entries:
            name, path = entry.split('=', 1)
            info = zipfile.ZipInfo(name, entry_time(epoch))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3                  # Unix, so that the mode below counts
            info.external_attr = 0o100644 << 16     # a regular file, rw-r--r--
            archive.writestr(info, content_of(name, path), compresslevel=9)


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
    target, epoch, entries = sys.argv[1], sys.argv[2], sys.argv[3:]
    if not epoch.isdigit() or not all('=' in entry for entry in entries):
        sys.exit(__doc__)
    partial = target + '.part'
    try:
        write_zip(partial, int(epoch), entries)
        os.replace(partial, target)
    except (OSError, OverflowError) as error:
        sys.exit('make_release_zip.py: cannot write %s: %s' % (target, error))
    finally:
        if os.path.exists(partial):
            os.remove(partial)


if __name__ == '__main__':
    main()
