"""Every C++ file of the project as the project's .clang-format writes it: a file that differs fails
the run with its name and the first lines that differ."""
import pathlib
import shutil
import subprocess
import sys

source = pathlib.Path(sys.argv[1])
tool = shutil.which("clang-format")
if not tool:
    print("FAIL clang-format is not installed (scripts/deps.sh installs it)")
    sys.exit(1)
files = sorted(p for folder in ("app", "bench", "cli", "scan", "tests", "toolkit", "ui")
               for p in (source / folder).rglob("*") if p.suffix in (".cpp", ".h"))
differ = []
for path in files:
    formatted = subprocess.run([tool, "--style=file", str(path)], cwd=source, capture_output=True,
                               check=True).stdout
    if formatted != path.read_bytes():
        differ.append(path.relative_to(source))
for path in differ:
    print("FAIL %s differs from .clang-format (clang-format -i %s)" % (path, path))
print("%d passed, %d failed" % (len(files) - len(differ), len(differ)))
sys.exit(1 if differ else 0)
