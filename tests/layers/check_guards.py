#!/usr/bin/python3
"""Fails when an exported function can let an exception reach its C caller.

Walks the export list of the public header and finds each function's definition under src/. A
definition passes when its body runs through the C-boundary guard (qmv3::Guarded or
qmv3::GuardedWith), when it only forwards to another exported function, or when it is listed below as
one that cannot allocate or throw.
"""
import pathlib
import re
import sys

# Exported functions that touch no heap, no log and no C++ library call that may throw.
CANNOT_THROW = {
    "qmGetVerbose": "reads one integer",
    "qmGetVerboseEx": "copies a fixed buffer",
    "qmInitializeBunchStructure": "clears two fields",
    "initialize_vidinfhdr": "clears the record",
    "free_vidinfhdr": "only releases memory",
    "load_file__return_code_to_string": "formats into the caller's buffer",
    "QMV3_INTERNAL_qmCreateColourTable": "computes into the caller's buffer",
    "QMV3_INTERNAL_qmGrayToRGB24": "computes into the caller's buffer",
    "QMV3_INTERNAL_getTimeString": "formats into the caller's buffer",
    "qmInitializeImageHeader": "fills the caller's record",
    "qmGetPixelLayout": "reads the header into the caller's record",
    "qmGetAppendedSize": "reads two header fields",
    "qmGetCompressionOfName": "compares with a static table",
    "qmFormatUTCTime": "formats into the caller's buffer",
    "qmGrabErrorText": "returns a static text",
    "qmGrabFrameErrorText": "returns a static text",
    "qmGetFormatName": "formats into the caller's buffer",
    "qmGetFlagNames": "formats into the caller's buffer",
    "QMV3_INTERNAL_platformTimeToUTCString": "formats into the caller's buffer",
    "qmGetLoadMemoryLimit": "reads one atomic integer",
    "qmSetLoadMemoryLimit": "stores one atomic integer",
    "qmGetOutputFileWritePath": "returns a text the object holds",
    "qmDiscardOutputFiles": "system calls only (async-signal-safe)",
    "qmGetBitmapFileName": "formats into the caller's buffer",
    "qmGetBitmapFileSize": "arithmetic only",
    "qmIsExportFileKind": "looks up the constant table of kinds",
    "qmGetFileKindMaxImages": "looks up the constant table of kinds",
    "qmGetFileKindInOrder": "looks up the constant table of kinds",
    "qmIsShortFrame": "reads header fields",
}


def exported_names(header):
    text = "\n".join(line for line in header.read_text().splitlines() if not line.lstrip().startswith("#"))
    return sorted(set(re.findall(r"QMV3_EXPORT[^(;]*?[ *]([A-Za-z_][A-Za-z0-9_]*)\(", text)))


def body_of(text, name):
    """The body of the function definition `name` in text, or None."""
    for match in re.finditer(r"(?m)^[^\n;#/]*?[ *]" + re.escape(name) + r"\(", text):
        depth = 0
        i = match.end() - 1
        # Skip the parameter list.
        while i < len(text):
            if text[i] == "(":
                depth += 1
            elif text[i] == ")":
                depth -= 1
                if depth == 0:
                    break
            i += 1
        rest = text[i + 1 :]
        head = re.match(r"\s*(noexcept\s*)?(try\s*)?\{", rest)
        if head is None:
            continue  # a declaration or a call
        start = i + 1 + head.end()
        depth = 1
        j = start
        while j < len(text) and depth > 0:
            if text[j] == "{":
                depth += 1
            elif text[j] == "}":
                depth -= 1
            j += 1
        return text[start : j - 1]
    return None


def main():
    root = pathlib.Path(sys.argv[1])
    names = exported_names(root / "include" / "qmv3" / "qmv3.h")
    sources = {path: path.read_text() for path in sorted((root / "src").rglob("*.cc"))}
    unguarded = []
    for name in names:
        bodies = [(path, body) for path, text in sources.items() if (body := body_of(text, name)) is not None]
        if not bodies:
            unguarded.append(f"{name}: no definition found under src/")
            continue
        path, body = bodies[0]
        statements = body.strip()
        if name in CANNOT_THROW:
            continue
        if re.search(r"\bqmv3::Guarded(With)?(<[^>]*>)?\(", statements):
            continue
        forward = re.fullmatch(r"return\s+([A-Za-z_][A-Za-z0-9_]*)\([^;]*\);", statements, re.S)
        if forward and forward.group(1) in names:
            continue
        unguarded.append(f"{name} ({path.relative_to(root)})")
    if unguarded:
        print("exported functions not guarded at the C boundary:", file=sys.stderr)
        for line in unguarded:
            print("  " + line, file=sys.stderr)
        return 1
    print(f"{len(names)} exported functions, each guarded, forwarding or unable to throw")
    return 0


if __name__ == "__main__":
    sys.exit(main())
