#!/usr/bin/env python3
"""Checks the #include lines of every layer against its declared dependencies.

Usage: check_layer_includes.py LAYERS_MANIFEST SRC_DIR

A header belongs to the layer that compiles its .cpp; a header without one
belongs to the layers of its directory (any of them will do, since several
layers can share a directory, the lower one holding the I/O-free cores).
A layer's file may include headers of its own layer and of the layers in
its dependency closure, and only the TLS channel includes OpenSSL headers.
Prints each violation; exits 1 if there is any.

The build enforces the same rule for compiled files (each layer's include
path holds only its own headers and its dependencies'); this check also
covers headers that no compiled file includes yet, and the OpenSSL rule,
which no include path can express.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
OPENSSL = re.compile(r'^\s*#\s*include\s+<openssl/', re.M)
# The only layer that may name OpenSSL: everything else sees the TLS channel
# through its own types.
OPENSSL_LAYER = "tls_channel"


def main():
    manifest, src = sys.argv[1], os.path.realpath(sys.argv[2])
    layers = {}
    for line in open(manifest):
        line = line.strip()
        if not line:
            continue
        name, directory, sources, closure = line.split("|")
        layers[name] = {
            "dir": os.path.realpath(directory),
            "sources": [s for s in sources.split(",") if s],
            "closure": set(c for c in closure.split(",") if c),
        }

    owner_of_cpp = {}
    layers_of_dir = {}
    for name, layer in layers.items():
        layers_of_dir.setdefault(layer["dir"], set()).add(name)
        for source in layer["sources"]:
            path = os.path.realpath(os.path.join(layer["dir"], source))
            owner_of_cpp[os.path.splitext(path)[0]] = name

    def owners(header):
        path = os.path.realpath(os.path.join(src, header))
        stem = os.path.splitext(path)[0]
        if stem in owner_of_cpp:
            return {owner_of_cpp[stem]}
        return layers_of_dir.get(os.path.dirname(path), set())

    failures = []
    for name, layer in sorted(layers.items()):
        files = []
        for source in layer["sources"]:
            files.append(os.path.join(layer["dir"], source))
        # Header-only files of the directory go with the layer as well when
        # it is the only one there.
        if len(layers_of_dir[layer["dir"]]) == 1:
            for entry in sorted(os.listdir(layer["dir"])):
                if entry.endswith(".h"):
                    files.append(os.path.join(layer["dir"], entry))
        else:
            for source in layer["sources"]:
                header = os.path.join(layer["dir"], os.path.splitext(source)[0] + ".h")
                if os.path.exists(header):
                    files.append(header)
        for path in files:
            text = open(path, encoding="utf-8", errors="replace").read()
            if name != OPENSSL_LAYER and OPENSSL.search(text):
                failures.append(f"{os.path.relpath(path, src)}: layer {name} includes an OpenSSL header")
            for included in INCLUDE.findall(text):
                if included.startswith("corvane/"):
                    continue  # the public headers sit above every layer
                found = owners(included)
                if not found:
                    continue  # not a layer header (a generated or sibling file)
                if found & layer["closure"]:
                    continue
                rel = os.path.relpath(path, src)
                failures.append(f"{rel}: layer {name} includes {included} "
                                f"of layer {'/'.join(sorted(found))}, not among its dependencies")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
