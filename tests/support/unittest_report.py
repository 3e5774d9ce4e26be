"""Runs a Python unittest suite and writes a GoogleTest-style XML report, so
scripts/test counts script suites beside the GoogleTest ones."""
import sys
import unittest
import xml.etree.ElementTree as ET


def write_report(result, path, name):
    failures = len(result.failures) + len(result.errors)
    root = ET.Element("testsuites", tests=str(result.testsRun), failures=str(failures),
                      errors="0", skipped=str(len(result.skipped)), name=name)
    for test, trace in result.failures + result.errors:
        case = ET.SubElement(root, "testcase", name=test.id())
        ET.SubElement(case, "failure", message=trace.splitlines()[-1]).text = trace
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def run(suite, report_path, name, verbosity=2):
    """Runs `suite`, writes the report when a path is given; the exit status."""
    result = unittest.TextTestRunner(verbosity=verbosity).run(suite)
    if report_path:
        write_report(result, report_path, name)
    return 0 if result.wasSuccessful() else 1
