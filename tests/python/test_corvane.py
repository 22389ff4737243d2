"""The corvane module driving real requests."""
import ast
import gc
import os
import socket
import threading
import weakref

import pytest

import corvane


def test_answers_are_navigated_by_xpath(nginx):
    rest = corvane.create_object("Corvane16.REST")
    rest.Get(nginx + "/data.xml")
    rest.XPath = "/root/[4]"
    assert (rest.x_element, rest.x_text, rest.attr("id")) == ("item", "value 3", "3")
    assert (rest.attr_name[0], rest.attr_value[0], len(rest.attr_value)) == ("id", "3", 1)
    assert rest.parsed_header_field[0] != ""
    rest.get(nginx + "/data.json")
    rest.xpath = "/json/items"
    count = rest.x_child_count
    assert count > 3 and rest.has_xpath("/json/items/[%d]" % count)
    assert not rest.HasXPath("/json/items/[%d]" % (count + 1))
    rest.xpath = "/json/items/[3]"
    assert rest.XChildCount == 3
    assert list(rest.x_child_name) == ["id", "name", "ok"]
    assert rest.x_child_x_text[1] == '"item002"'
    rest.xpath = "/json/items/[3]/name"
    assert (rest.XTextDecoded, rest.x_text_decoded, rest.status_code) == ("item002", "item002", 200)


def test_post_sends_bytes_and_reads_the_answer(nginx):
    rest = corvane.REST()
    rest.post_data_b = bytearray(b"a=\x00\xff")
    rest.content_type = "application/octet-stream"
    rest.post(nginx + "/post")
    assert rest.transferred_data_b == b"posted\n"
    assert rest.status_line == "HTTP/1.1 200 OK"
    assert rest.post_data_b == b"a=\x00\xff"


def test_events_reach_handlers_and_by_reference_answers_come_back(nginx):
    rest = corvane.REST()
    rest.follow_redirects = corvane.TFollowRedirects.frAlways
    seen = []
    rest.on("Status", lambda version, code, text: seen.append(("Status", code)))

    @rest.on("Redirect")
    def refuse(location, accept):
        seen.append(("Redirect", location, accept.value))
        accept.value = False

    transferred = []
    rest.on("transfer", lambda direction, count, percent, text: transferred.append((direction, count)))
    with pytest.raises(corvane.Error) as failure:
        rest.get(nginx + "/r302")
    # Refused, the redirect is the answer: a 302 is an HTTP error.
    assert failure.value.code == 151
    assert seen[:2] == [("Status", 302), ("Redirect", nginx + "/data.json", True)]

    seen.clear()
    rest.off("Redirect")
    rest.get(nginx + "/r302")
    assert seen == [("Status", 302), ("Status", 200)]
    assert transferred[-1] == (1, len(rest.transferred_data_b))


def test_failing_get_raises_error_with_result_and_help_context(nginx):
    rest = corvane.REST()
    with pytest.raises(corvane.Error) as failure:
        rest.get(nginx + "/missing.json")
    e = failure.value
    assert (e.hresult, e.code, e.help_context, e.help_file) == (0x800A4EB8, 151, 43406, "corvane.chm")
    assert e.description.startswith("HTTP protocol error.") and "404" in e.description
    assert e.source == "Corvane.REST"


def _at_design_time(rest):
    rest.design_time = True
    return rest.status_code


@pytest.mark.parametrize("call, hresult, help_context", [
    # A two-dimensional buffer keeps its shape across the boundary.
    (lambda r: setattr(r, "post_data_b", memoryview(b"abcd").cast("B", (2, 2))), 0x800A017C, 23401),
    (lambda r: setattr(r, "post_data_b", [[1, 2], [3, 4]]), 0x800A017C, 23401),
    (lambda r: r.cookie_name.__setitem__(3, "c"), 0x800A4EBD, 23410),
    (lambda r: setattr(r, "StatusCode", 200), 0x800A017F, 0),
    (_at_design_time, 0x800A018A, 0),
])
def test_surface_errors_raise_with_their_help_context(call, hresult, help_context):
    with pytest.raises(corvane.Error) as failure:
        call(corvane.REST())
    assert (failure.value.hresult, failure.value.help_context) == (hresult, help_context)


def test_values_come_back_as_python_types():
    rest = corvane.REST()
    rest.auth_scheme = "authNtlm"
    assert rest.auth_scheme is corvane.AuthSchemes.authNtlm
    rest.TransferredDataLimit = 5 << 30
    assert rest.transferred_data_limit == 5 << 30
    rest.post_data_b = [0x141, 2]
    assert rest.post_data_b == b"\x41\x02"
    rest.from_ = "me@example.org"
    assert rest.From == "me@example.org"
    with pytest.raises(AttributeError):
        rest.NoSuchProperty = 1
    with pytest.raises(TypeError):
        rest.accept = 1.5
    with pytest.raises(corvane.Error) as failure:
        corvane.create_object("Corvane.Other")
    assert failure.value.hresult == 0x800401F3


def test_handler_exception_stops_the_request_and_reaches_the_caller(nginx):
    rest = corvane.REST()

    @rest.on("Header")
    def fail(field, value):
        raise KeyError(field)

    with pytest.raises(KeyError):
        rest.get(nginx + "/data.json")
    rest.off("Header")
    rest.get(nginx + "/data.json")


def test_object_used_by_its_own_handler_is_collected():
    rest = corvane.REST()
    rest.on("Status", lambda version, code, text, owner=rest: owner.x_text)
    gone = weakref.ref(rest)
    del rest
    gc.collect()
    assert gone() is None


def test_request_releases_the_interpreter_while_it_waits():
    # The server answers on a Python thread of this process: only while the
    # request lets go of the interpreter lock.
    listener = socket.create_server(("127.0.0.1", 0))

    def answer():
        conn, _ = listener.accept()
        with conn, conn.makefile("rb") as requests:
            for line in iter(requests.readline, b"\r\n"):
                assert line
            body = b'{"hello": "from a thread"}'
            conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                         b"Content-Length: %d\r\n\r\n%s" % (len(body), body))

    thread = threading.Thread(target=answer)
    thread.start()
    try:
        rest = corvane.REST()
        rest.timeout = 10
        rest.get("http://127.0.0.1:%d/" % listener.getsockname()[1])
        rest.xpath = "/json/hello"
        assert rest.x_text == '"from a thread"'
    finally:
        thread.join(10)
        listener.close()


def test_type_stubs_lie_beside_the_module():
    stub = os.path.join(os.path.dirname(corvane.__file__), "corvane.pyi")
    tree = ast.parse(open(stub).read())
    rest = next(n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "REST")
    names = {getattr(t, "id", None) for n in rest.body if isinstance(n, ast.AnnAssign) for t in [n.target]}
    assert {"URL", "url", "x_text", "transferred_data_limit"} <= names
