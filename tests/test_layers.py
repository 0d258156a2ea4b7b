# The folders' layers: a product file includes only its own folder's files
# and those of the folders below it, and no two files include each other.
import pathlib, re

ROOT = pathlib.Path(__file__).resolve().parent.parent
LAYERS = ["cli", "marking", "timestamp/roles", "timestamp/report", "timestamp/measure",
          "timestamp/wire", "platform", "settings"]  # each over the ones after it
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def layer(path):
    return next(i for i, folder in enumerate(LAYERS) if path.startswith(folder + "/"))


def includes():
    found = {}
    for folder in LAYERS:
        for file in (ROOT / folder).rglob("*"):
            if file.suffix in (".cc", ".h") and "_test." not in file.name:
                found[str(file.relative_to(ROOT))] = INCLUDE.findall(file.read_text())
    return found


def test_includes_point_down_only_and_never_both_ways():
    found = includes()
    climbing = [(f, t) for f, targets in found.items() for t in targets if layer(t) < layer(f)]
    mutual = [(f, t) for f, targets in found.items() for t in targets if f in found.get(t, ())]
    assert (climbing, mutual) == ([], [])
