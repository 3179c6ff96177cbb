#!/bin/sh
# The desktop entry and the AppStream metainfo as written in the sources.
# Usage: check_desktop_files.sh SOURCE-DIR
set -eu
desktop-file-validate "$1/com.plomix.Taviro.desktop"
appstreamcli validate --no-net "$1/com.plomix.Taviro.metainfo.xml"
