# SPDX-License-Identifier: Apache-2.0
"""Discovery and cable-id configuration over real broadcasts: only inside the
network namespace that scripts/tests.d/30-discovery-netns.sh makes."""
import os

import pytest

import kelo

IN_OWN_NAMESPACE = (os.environ.get("KELO_DISCOVERY_NETNS_ADDRESSES") and
                    os.environ.get("KELO_HOST_NETNS") not in (None, os.readlink("/proc/self/ns/net")))
pytestmark = pytest.mark.skipif(not IN_OWN_NAMESPACE,
                                reason="broadcasts only in a network namespace of the test's own")


def test_find_by_serial_number_and_by_cable_id_set_and_cleared():
    serial = int(os.environ["KELO_DISCOVERY_EXTERNAL_SERIAL"])
    assert [info.identity for info in kelo.find_scanners(serial_number=serial)] == [serial]
    kelo.set_cable_id(serial, 42)
    assert [(info.identity, info.value2) for info in kelo.find_scanners(cable_id=42)] == [(serial, 42)]
    kelo.clear_cable_id(serial)
    assert kelo.find_scanners(cable_id=42) == []


def test_discovered_scanners_have_the_address_their_reply_came_from_and_open(emulator):
    emulator("--serial", 7202, "--port", 24400, "--discovery", bind="0.0.0.0")
    found = kelo.discover(serial_number=7202)
    assert [f.identity for f in found] == [7202] and found[0].info.identity == 7202
    assert repr(found[0]).startswith(f"FoundScanner(address={found[0].address!r}, identity=7202, value1=")
    with found[0].open(port=24400, connect_timeout=2.0) as scanner:
        assert scanner.status(describe=False)[0].value == 7202
