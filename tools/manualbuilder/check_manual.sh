#!/bin/sh
# The built manual: a PDF that opens, holds every chapter, every menu command with
# its shortcut, the publishing steps and the messages, and the pictures of the
# program's windows.
# Usage: check_manual.sh taviro.pdf PICTURES-DIR (the builder's grabbed windows)
set -eu
pdf=$1
pictures=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

pdfinfo "$pdf" >/dev/null || fail "pdfinfo cannot open $pdf"
pdfinfo "$pdf" | grep -q '^Title: *Taviro 1.5 Manual$' || fail "title"
# One line of text with ligatures spelt out, so phrases match across line breaks.
text=$(pdftotext -raw "$pdf" - | sed 's/ﬁ/fi/g; s/ﬂ/fl/g; s/ﬀ/ff/g' | tr -s ' \n\t' '   ')
expect() {
    case "$text" in
    *"$1"*) ;;
    *) fail "the manual does not say: $1" ;;
    esac
}

expect "1. Getting started"
expect "2. The menus and their commands"
expect "3. Publishing: preview, upload, get file, update check"
expect "4. Where Taviro keeps things"
expect "5. Messages and what to do about them"
expect "6. Keys at a glance"

# Every menu command, with its shortcut where it has one.
expect "New Ctrl+N"
expect "Open... Ctrl+O"
expect "Save Ctrl+S"
expect "Save As..."
expect "Print Ctrl+P"
expect "Print Setup..."
expect "Exit"
for c in Undo Cut Copy Paste "Word Wrap" Font; do expect "$c"; done
expect "Preview > As ASP F2"
expect "Preview > As HTML F3"
expect "Preview > As PHP F4"
expect "Upload Ctrl+U"
expect "Get File Ctrl+G"
expect "Manual F1"
expect "Check for updates"
expect "About..."

# Where things live.
expect "~/.config/taviro/registry.reg"
for f in preview.asp preview.htm preview.php3 upload.fil getfile.fil; do expect "$f"; done
expect "/usr/share/taviro/taviro.pdf"

# The messages a user can meet.
for m in "Do you want to save this file?" "Cannot open file" "Cannot create file" \
         "Failed to Save Stream" "is not a valid integer value" "Cannot open key to write" \
         "There is no default printer currently selected" "Null Remote Address" \
         "Connection Failed" "Not Connected" "Accepting Canceled" "Socket send aborted" \
         "Error creating Data Connection" "Empty URL" "HTTP Secure Socket is not supported" \
         "Host Lookup Timed Out" "Connection Timed out" "Socket readln aborted" \
         "Socket capture aborted" "No updates available." \
         "Update Available. Do you want to know more?" "Cookie:/n"; do
    expect "$m"
done

# The pictures: every window the builder grabbed is in the manual (a picture
# with transparency adds a mask, which is not counted), none of them empty.
wanted=$(ls "$pictures"/*.png | wc -l)
[ "$wanted" -ge 2 ] || fail "only $wanted pictures grabbed" 
images=$(pdfimages -list "$pdf" | awk 'NR > 2 && $3 == "image" && $4 > 50 && $5 > 30' | wc -l)
[ "$images" -ge "$wanted" ] || fail "$images pictures in the manual, $wanted expected"
echo "manual ok: $(pdfinfo "$pdf" | sed -n 's/^Pages: *//p') pages, $images pictures"
