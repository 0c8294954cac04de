#!/bin/sh
# Formats each manual page given with man's warnings on; a page that does not format or draws
# any warning fails. Without man the pages cannot be checked: the test is skipped (status 77).
#
# The pages quote the program's Japanese texts, which man can only format in a UTF-8 locale (in
# another one every Japanese character is a warning), so they are checked in one.
if ! command -v man >/dev/null 2>&1; then
    echo "man is not installed (Debian package man-db): the manual pages are not checked"
    exit 77
fi
status=0
for page in "$@"; do
    if ! warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null) ||
        [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        status=1
    fi
done
exit $status
