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
