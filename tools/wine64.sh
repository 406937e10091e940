#!/usr/bin/env bash
# Wine's 64-bit loader without address-space randomization. Linux now places a program's heap anywhere
# within 1 GiB above it, and Wine's loader sits just below the address where every Windows process
# maps the shared user data (0x7ffe0000): now and then a start failed with "failed to map the shared
# user data: c0000018". Without randomization the heap follows the loader, clear of it; Wine's
# own child processes inherit the setting. Where it cannot be set (a sandbox that forbids it), Wine
# runs as it is.
if setarch -R true 2>/dev/null; then
    exec setarch -R /usr/lib/wine/wine64 "$@"
fi
exec /usr/lib/wine/wine64 "$@"
