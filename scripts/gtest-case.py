#!/usr/bin/env python3
"""Prints one test case's result from a GoogleTest JSON report and exits with it.

   gtest-case.py REPORT.json SUITE.NAME

Exit 0 when the case passed or was skipped (printed as "[  SKIPPED ]"), 1 when
it failed (its failure messages are printed) or is missing from the report.
"""
import json
import sys

report_path, wanted = sys.argv[1], sys.argv[2]
try:
    with open(report_path, encoding="utf-8", errors="replace") as f:
        report = json.load(f)
except (OSError, ValueError) as e:
    print(f"no report to read {wanted} from: {e}")
    sys.exit(1)

for suite in report.get("testsuites", []):
    for case in suite.get("testsuite", []):
        if f"{suite['name']}.{case['name']}" != wanted:
            continue
        failures = case.get("failures", [])
        for failure in failures:
            print(failure.get("failure", "").rstrip())
        if failures:
            print(f"[  FAILED  ] {wanted}")
            sys.exit(1)
        if case.get("result") == "SKIPPED" or case.get("status") == "NOTRUN":
            print(f"[  SKIPPED ] {wanted}")
            sys.exit(0)
        print(f"[       OK ] {wanted} ({case.get('time', '?')})")
        sys.exit(0)

print(f"{wanted} is not in the report {report_path}")
sys.exit(1)
