#!/usr/bin/python3
"""The promises of the test set-up itself: a hanging test fails with its
name, and a skipped test is never silent.

usage: test_wiring_test.py timeouts BUILD_DIR [AT_LEAST]
         every test CTest knows has a TIMEOUT, and the GoogleTest ones count
         GTEST_SKIP as skipped; CTest knows at least AT_LEAST tests (100),
         so the GoogleTest ones were all found
       test_wiring_test.py summary TEST_SUMMARY
         scripts/test-summary names every skipped test with its reason
"""
import json
import os
import subprocess
import sys
import tempfile

# A run as CTest reports it: a GoogleTest skip, a script's skip (status 77),
# a pass and a failure.
JUNIT = """<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="t" tests="4" failures="1" skipped="2">
 <testcase name="Fonts.Whole" status="notrun">
  <skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/>
  <system-out>[ RUN      ] Fonts.Whole
fontx_test.cc:58: Skipped
../shared/fonts/A.FNT is missing

[  SKIPPED ] Fonts.Whole (0 ms)
</system-out>
 </testcase>
 <testcase name="Script" status="notrun">
  <skipped message="SKIP_RETURN_CODE=77"/>
  <system-out>checking
no card: unifont is missing
</system-out>
 </testcase>
 <testcase name="Fine" status="run"><system-out></system-out></testcase>
 <testcase name="Broken" status="fail"><failure message=""/><system-out></system-out></testcase>
</testsuite>
"""


def timeouts(build_dir, at_least=100):
    listing = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                             check=True, capture_output=True, text=True).stdout
    problems = []
    tests = json.loads(listing)["tests"]
    for test in tests:
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        if not properties.get("TIMEOUT"):
            problems.append("%s has no TIMEOUT" % test["name"])
        if "--gtest_filter" in " ".join(test["command"]) and \
                "SKIPPED" not in str(properties.get("SKIP_REGULAR_EXPRESSION")):
            problems.append("%s does not count GTEST_SKIP as skipped" % test["name"])
    if len(tests) < at_least:
        problems.append("CTest knows only %d tests" % len(tests))
    return problems


def summary(script):
    with tempfile.TemporaryDirectory() as folder:
        os.mkdir(os.path.join(folder, "build"))
        junit = os.path.join(folder, "build", "junit.xml")
        with open(junit, "w") as out:
            out.write(JUNIT)
        run = subprocess.run([script, junit, "--max-skipped", "1"], capture_output=True,
                             text=True)
    want = [
        "build: skipped Fonts.Whole: ../shared/fonts/A.FNT is missing",
        "build: skipped Script: no card: unifont is missing",
        "build: FAILED Broken",
        "build: 4 tests ran: 1 passed, 1 failed, 2 skipped",
        "tests: 1 passed, 1 failed, 2 skipped",
    ]
    problems = []
    if run.stdout.splitlines() != want:
        problems.append("the summary says:\n%s" % run.stdout)
    if run.returncode != 1 or "2 tests were skipped, more than 1" not in run.stderr:
        problems.append("exit status %d, standard error: %s" % (run.returncode, run.stderr))
    return problems


def main():
    mode, argument = sys.argv[1], sys.argv[2]
    if mode == "timeouts":
        problems = timeouts(argument, *[int(n) for n in sys.argv[3:4]])
    else:
        problems = summary(argument)
    for problem in problems:
        print("FAIL: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
