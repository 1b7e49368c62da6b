#!/bin/sh
# PROJECTOR as the Debian package installs it. The program opens its
# catalogue "projector.mdb" and help "PROJECTOR.chm" in its working folder,
# and the catalogue is the user's own data once edited; so each user gets a
# data folder of their own, filled on the first start with a copy of the
# delivered catalogue, and the program is started there.
set -e
program=/usr/libexec/projector/PROJECTOR
shared=/usr/share/projector
case "${1:-}" in
--version | --help | -h) exec "$program" "$@" ;;
esac
data="${XDG_DATA_HOME:-$HOME/.local/share}/projector"
mkdir -p "$data"
if [ ! -e "$data/projector.mdb" ]; then
    cp "$shared/projector.mdb" "$data/projector.mdb"
    chmod u+w "$data/projector.mdb"
fi
# The help follows the installed version.
ln -sf "$shared/PROJECTOR.chm" "$data/PROJECTOR.chm"
cd "$data"
exec "$program" "$@"
