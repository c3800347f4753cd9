#!/usr/bin/env python3
"""Splits a GoogleTest JSON report into one small result file per test case.

   gtest-split.py REPORT.json FOLDER

FOLDER/SUITE.NAME (a "/" in the name written as "@") holds "passed",
"skipped" or "failed" on its first line, then the case's failure messages.
"""
import json
import os
import sys

report_path, folder = sys.argv[1], sys.argv[2]
with open(report_path, encoding="utf-8", errors="replace") as f:
    report = json.load(f)
os.makedirs(folder, exist_ok=True)
for suite in report.get("testsuites", []):
    for case in suite.get("testsuite", []):
        name = f"{suite['name']}.{case['name']}"
        failures = [x.get("failure", "").rstrip() for x in case.get("failures", [])]
        if failures:
            result = "failed"
        elif case.get("result") == "SKIPPED" or case.get("status") == "NOTRUN":
            result = "skipped"
        else:
            result = "passed"
        with open(os.path.join(folder, name.replace("/", "@")), "w", encoding="utf-8") as out:
            out.write("\n".join([result] + failures) + "\n")
