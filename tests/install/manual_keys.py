"""The configuration manual, the control client's key table, the shipped
default file and the keys the daemon's sources read all name the same keys
with the same types and defaults."""
import glob
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

from fpcd_testlib import fail

manual, fpcctl, source_dir = sys.argv[1:4]


def unescape(text):
    return text.replace("\\-", "-").replace("\\\\", "\\")


def manual_keys():
    with open(manual) as f:
        text = f.read()
    entries = re.findall(r"^\.TP\n\.B (\S+)\n\((\w+), default (\S+)\) (.*)$", text, re.M)
    return {unescape(name): (kind, "" if default == "empty" else unescape(default)) for name, kind, default, _ in entries}


def table_keys():
    output = subprocess.run([fpcctl, "config", "keys"], capture_output=True, text=True, check=True).stdout
    rows = [line.split("\t") for line in output.splitlines()]
    return {row[0]: (row[1], row[2]) for row in rows}


def shipped_values():
    root = ET.parse(source_dir + "/packaging/vomu-fpc.cfg").getroot()
    return {item.get("key"): item.get("value") for item in root.iter("item")}


def keys_read_by_sources():
    pattern = re.compile(r'(?:FpcConfig::get(?:U?Int|Float)?Value|configInt)\(\s*(?:QStringLiteral|QLatin1String)?\(?"([^"]+)"')
    found = set()
    for path in glob.glob(source_dir + "/src/**/*.cpp", recursive=True):
        with open(path) as f:
            found.update(pattern.findall(f.read()))
    return found


documented = manual_keys()
table = table_keys()
if documented != table:
    only_manual = {k: v for k, v in documented.items() if table.get(k) != v}
    only_table = {k: v for k, v in table.items() if documented.get(k) != v}
    fail("manual and key table differ:\n  manual %s\n  table  %s" % (only_manual, only_table))

read = keys_read_by_sources()
if len(read) < 20:
    fail("found only %d keys in the sources: the pattern no longer matches the readers" % len(read))
undocumented = read - set(table)
if undocumented:
    fail("the daemon reads keys the table lacks: %s" % sorted(undocumented))

for key, value in shipped_values().items():
    if key not in table:
        fail("the shipped configuration sets %s, which the daemon does not read" % key)
    kind, default = table[key]
    same = float(value) == float(default) if kind == "float" else value == default
    if not same:
        fail("the shipped %s=%s differs from the documented default %s" % (key, value, default))
print("%d keys: manual, table, shipped file and sources agree" % len(table))
