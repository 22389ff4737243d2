import os

import pytest


@pytest.fixture
def nginx():
    """Base URL of the nginx that tests/servers/up starts."""
    port = os.environ.get("CORVANE_NGINX_PORT")
    if not port:
        if os.environ.get("CORVANE_REQUIRE_SERVERS") == "1":
            pytest.fail("CORVANE_NGINX_PORT is not set but CORVANE_REQUIRE_SERVERS=1")
        pytest.skip("nginx is not running (eval \"$(tests/servers/up)\")")
    return "http://127.0.0.1:%s" % port
