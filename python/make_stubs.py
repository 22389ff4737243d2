#!/usr/bin/python3
"""Writes corvane.pyi from the built module's own tables.

    PYTHONPATH=<dir of the module> make_stubs.py OUT.pyi
"""
import sys

import corvane

HEADER = '''"""Type stubs of the corvane module (generated from its tables)."""
import enum
from typing import Callable, Iterator, Optional, TypeVar, Union, overload

_F = TypeVar("_F", bound=Callable[..., object])


class Error(Exception):
    hresult: int
    code: int
    description: str
    help_context: int
    help_file: str
    source: str
    def __init__(self, hresult: int, code: int, description: str, help_context: int = ...,
                 help_file: str = ..., source: str = ...) -> None: ...


class Ref:
    """An event argument the handler may change."""
    value: object
    def __init__(self, value: object) -> None: ...


class IndexedProperty:
    def __getitem__(self, index: int) -> object: ...
    def __setitem__(self, index: int, value: object) -> None: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[object]: ...

'''


def python_type(kind, enum_name=None):
    if enum_name:
        return "Union[%s, int]" % enum_name
    return {"None": "None", "object": "object"}.get(kind, kind)


def main(out_path):
    lines = [HEADER]
    for name in ("AuthSchemes", "FirewallTypes", "TFollowRedirects", "ProxySSLTypes", "CertStoreTypes"):
        lines.append("class %s(enum.IntEnum):" % name)
        for member in getattr(corvane, name):
            lines.append("    %s = %d" % (member.name, member.value))
        lines.append("\n")

    lines.append("class REST:")
    lines.append("    design_time: bool")
    lines.append("    @property")
    lines.append("    def server_page(self) -> bool: ...")
    lines.append("    def __init__(self) -> None: ...")
    for p in corvane.properties():
        kind = python_type(p["type"], p["enum"])
        for name in dict.fromkeys((p["name"], p["snake_name"])):
            if p["indexed"]:
                lines.append("    @property")
                lines.append("    def %s(self) -> IndexedProperty:" % name)
                lines.append('        """%s values by index (help context %d)."""' % (p["type"], p["help_context"]))
                lines.append("        ...")
            else:
                where = "DISPID %d" % p["dispid"] if p["dispid"] is not None else "no DISPID"
                note = " read-only" if p["read_only"] else ""
                lines.append("    %s: %s  # %s%s" % (name, kind, where, note))
    for m in corvane.methods():
        params = "".join(", %s: %s%s" % (n, python_type(t), " = ..." if t == "object" else "")
                         for n, t in m["params"])
        for name in dict.fromkeys((m["name"], m["snake_name"])):
            lines.append("    def %s(self%s) -> %s: ..." % (name, params, python_type(m["result"])))
    event_names = [e["name"] for e in corvane.events()]
    lines.append("    # Events: %s." % ", ".join(event_names))
    for e in corvane.events():
        doc = ", ".join("%s: %s" % (n, "Ref" if ref else python_type(t)) for n, t, ref in e["params"])
        lines.append("    # %s(%s)" % (e["name"], doc))
    lines.append("    @overload")
    lines.append("    def on(self, event: str, handler: Callable[..., object]) -> None: ...")
    lines.append("    @overload")
    lines.append("    def on(self, event: str) -> Callable[[_F], _F]: ...")
    lines.append("    def off(self, event: str) -> None: ...")
    lines.append("    def invoke(self, member: Union[int, str], kind: str, *args: object) -> object: ...")
    lines.append("")
    lines.append("")
    lines.append("def create_object(prog_id: str) -> REST: ...")
    lines.append("def properties() -> list[dict[str, object]]: ...")
    lines.append("def methods() -> list[dict[str, object]]: ...")
    lines.append("def events() -> list[dict[str, object]]: ...")
    with open(out_path, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1])
