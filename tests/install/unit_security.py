"""The unit's sandbox: systemd-analyze rates its exposure 2.5 or lower, and
verify finds nothing to complain about."""
import re
import shutil
import subprocess
import sys

from fpcd_testlib import fail, skip

MAX_EXPOSURE = 2.5

unit = sys.argv[1]
if not shutil.which("systemd-analyze"):
    skip("systemd-analyze is not installed")

result = subprocess.run(["systemd-analyze", "security", "--offline=true", unit], capture_output=True, text=True)
match = re.search(r"Overall exposure level for \S+: ([0-9.]+)", result.stdout + result.stderr)
if not match:
    if "unrecognized option" in result.stderr or "Unknown option" in result.stderr:
        skip("this systemd-analyze cannot rate a unit file offline")
    fail("no exposure level in the output:\n" + result.stdout + result.stderr)
exposure = float(match.group(1))
print("exposure %.1f (limit %.1f)" % (exposure, MAX_EXPOSURE))
if exposure > MAX_EXPOSURE:
    fail("the unit is exposed too much:\n" + result.stdout)
