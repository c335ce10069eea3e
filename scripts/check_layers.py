#!/usr/bin/env python3
"""Fails on an include or a link that runs against the layers of the program.

The layers, from the bottom up, and what each folder may include besides its
own headers (docs/architecture.md explains why each one exists):

    platform/                      operating-system stand-ins
    mail/  zip/  web/  crypto/     transports, formats and encryption, on platform/ alone
    catalog/xml/  catalog/         the catalog document and its XML engine
    app/                           settings, accounts, process state, login verification
    setup/                         finding a mailbox's servers, provider answers
    transfer/                      pieces, tasks, workers, catalog mail
    presentation/                  texts and rules both clients show
    cli/  shell/                   the two clients, which never include each other

site/ stands apart on platform/. Qt is included from shell/ only. Tests,
benchmarks and fuzz targets may include any layer. Each violation is printed as
"file:line: what", and the exit status is 1 when there is any.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# folder -> the folders it may include (its own is always allowed)
BELOW = {}
BELOW["platform"] = set()
for transport in ("mail", "zip", "web", "crypto"):
    BELOW[transport] = {"platform"}
BELOW["catalog/xml"] = {"platform"}
BELOW["catalog"] = {"platform", "mail", "zip", "web", "crypto", "catalog/xml"}
BELOW["app"] = BELOW["catalog"] | {"catalog"}
BELOW["setup"] = BELOW["app"] | {"app"}
BELOW["transfer"] = BELOW["setup"] | {"setup"}
BELOW["presentation"] = BELOW["transfer"] | {"transfer"}
BELOW["cli"] = BELOW["presentation"] | {"presentation"}
BELOW["shell"] = BELOW["presentation"] | {"presentation"}
BELOW["site"] = {"platform"}

# The static library each folder builds, for the link check.
LIBRARY = {"platform": "platform", "mail": "mail", "zip": "zip", "web": "web",
           "crypto": "crypto", "catalog/xml": "catalog_xml", "catalog": "catalog", "app": "app",
           "setup": "setup",
           "transfer": "transfer", "presentation": "presentation", "cli": "cli_commands",
           "shell": "shell_ui", "site": "site_service"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r'^Q[A-Za-z]+(/|$)|^Qt[A-Za-z]*/')


def folder_of(path):
    """The layer folder of a project path ('catalog/xml/x.h' -> 'catalog/xml')."""
    parts = pathlib.PurePosixPath(path).parts
    if len(parts) < 2:
        return None
    if parts[0] == "catalog" and len(parts) > 2 and parts[1] == "xml":
        return "catalog/xml"
    return parts[0] if parts[0] in BELOW else None


def check_includes(root):
    problems = []
    for folder in BELOW:
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in (".h", ".cpp") or folder_of(source.relative_to(root)) != folder:
                continue
            rel = source.relative_to(root).as_posix()
            for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, header = match.groups()
                if quote == "<":
                    if folder != "shell" and QT_HEADER.match(header):
                        problems.append(f"{rel}:{number}: Qt header <{header}> outside shell/")
                    continue
                target = folder_of(header)
                if target is None:
                    top = header.split("/")[0]
                    if "/" in header and (root / top).is_dir():
                        problems.append(f"{rel}:{number}: {folder}/ includes \"{header}\" "
                                        f"from {top}/, which is not a layer below it")
                    continue
                if target != folder and target not in BELOW[folder]:
                    problems.append(f"{rel}:{number}: {folder}/ includes \"{header}\", "
                                    f"but {target}/ is not below {folder}/")
    return problems


def check_links(root):
    """The libraries named after DEPS or in target_link_libraries of a layer's
    CMakeLists.txt must be its own layers below."""
    problems = []
    by_library = {library: folder for folder, library in LIBRARY.items()}
    for folder in BELOW:
        cmake = root / folder / "CMakeLists.txt"
        if not cmake.exists():
            continue
        text = cmake.read_text(encoding="utf-8")
        rel = cmake.relative_to(root).as_posix()
        for match in re.finditer(r'(parvola_library|target_link_libraries)\(([^)]*)\)', text):
            line = text.count("\n", 0, match.start()) + 1
            for word in match.group(2).split():
                target = by_library.get(word)
                if target and target != folder and target not in BELOW[folder]:
                    problems.append(f"{rel}:{line}: {folder}/ links {word}, "
                                    f"but {target}/ is not below {folder}/")
    return problems


def main(argv):
    root = pathlib.Path(argv[1]).resolve() if len(argv) > 1 else ROOT
    problems = check_includes(root) + check_links(root)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check_layers: {len(problems)} include(s) or link(s) against the layers")
        return 1
    print("check_layers: every include and link follows the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
