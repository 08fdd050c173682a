#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The licence: LICENSE holds the Apache License 2.0 as Debian ships it, and
# every tracked source file names it in an SPDX line near its top.
set -euo pipefail
cmp -s LICENSE /usr/share/common-licenses/Apache-2.0 ||
    { echo "LICENSE is not the text of the Apache License 2.0" >&2; exit 1; }
python3 scripts/licence_headers.py
echo "licence: LICENSE and the SPDX line of every source file"
