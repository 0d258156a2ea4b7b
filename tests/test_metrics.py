# The metrics' files: the exposition writer's sample under promtool, the alert rules under their
# own tests, the rules' and the dashboard's queries against the metrics the writer defines.
import json, os, re, subprocess
from conftest import BIN, ROOT, run

SAMPLE = os.path.join(os.path.dirname(BIN), "tests/exposition_sample")  # tests/exposition_sample.cc


def sample():
    status, out = run([SAMPLE])
    assert status == 0, out
    return out


def test_promtool_finds_the_exposition_and_the_rules_clean():
    for args, text, out in ((["check", "metrics"], sample(), ""),
                            (["check", "rules", "stampcast.rules.yml"], None, "SUCCESS"),
                            (["test", "rules", "stampcast.rules.test.yml"], None, "SUCCESS")):
        done = subprocess.run(["promtool", *args], input=text, cwd=ROOT / "docs",
                              capture_output=True, text=True)
        assert done.returncode == 0 and out in done.stdout + done.stderr, done


def test_rules_and_dashboard_ask_only_for_metrics_the_writer_defines():
    families = re.findall(r"^# TYPE (\w+) (\w+)$", sample(), re.M)
    defined = {name + end for name, kind in families
               for end in ("", *["_bucket", "_sum", "_count"] * (kind == "histogram"))}
    dashboard = json.loads((ROOT / "docs/stampcast-dashboard.json").read_text())
    assert [given["pluginId"] for given in dashboard["__inputs"]] == ["prometheus"]
    queries = [target["expr"] for panel in dashboard["panels"] for target in panel["targets"]]
    queries += [variable["definition"] for variable in dashboard["templating"]["list"]]
    queries.append((ROOT / "docs/stampcast.rules.yml").read_text())
    asked = {name for query in queries for name in re.findall(r"\bstampcast_\w+", query)}
    assert len(queries) >= 10 and asked <= defined, asked - defined

