"""The shared library exports the public API and nothing else of its own:
each defined dynamic symbol is a quorbel function that a header under
include/quorbel marks QUORBEL_API, or an instantiation of a standard library
template (which libstdc++ gives default visibility). Prints the quorbel
exports; exits non-zero on any other symbol, or if none is exported.

Usage: python3 .ci/check_exports.py libquorbel_core.so include/quorbel"""
import re
import subprocess
import sys
from pathlib import Path

library, headers = sys.argv[1], Path(sys.argv[2])
# The name declared on each QUORBEL_API line (an operator or a function,
# the Arm constructor as Arm).
marked = set()
for header in headers.rglob("*.hpp"):
    for line in header.read_text().splitlines():
        found = re.search(r"QUORBEL_API\b.*?\b(operator\S+?|\w+)\(", line)
        if found:
            marked.add(found.group(1))
symbols = subprocess.run(["nm", "-D", "--defined-only", "-C", library], check=True,
                         capture_output=True, text=True).stdout.splitlines()
public, unexpected = [], []
for symbol in symbols:
    name = symbol.split(" ", 2)[2]
    # quorbel::detail:: holds the few marked functions that public inline
    # templates call (the IkOptions overloads); any unmarked one is internal.
    own = re.match(r"(?:[\w:<>, ]+ )?quorbel::(?:Arm::|detail::|elementary::|batch::)?"
                   r"(operator\S+?|\w+)(?:\[abi:\w+\])?\(", name)
    if own and own.group(1) in marked:
        public.append(name)
    elif not re.match(r"(?:[\w:<>, ]+ )?(?:std|__gnu_cxx)::", name):
        unexpected.append(name)
print("\n".join(sorted(public)))
print(f"{len(public)} public symbols; {len(symbols) - len(public)} from the standard library")
if unexpected or not public:
    sys.exit("exported but not public API:\n" + "\n".join(unexpected))
