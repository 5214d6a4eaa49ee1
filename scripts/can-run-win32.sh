#!/bin/sh
# Exits 0 when this machine can run the 32-bit Wine loader. Some kernels are
# built without IA-32 emulation; there only 64-bit Windows programs run.
/usr/lib/wine/wine --version >/dev/null 2>&1
