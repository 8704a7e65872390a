"""Steps of a test script, each needing those before, and their XML report."""
from xml.sax.saxutils import quoteattr


class StepFailed(Exception):
    pass


class Steps:
    def __init__(self, suite):
        self.suite = suite
        self.results = []

    @property
    def failed(self):
        return any(message for _, message in self.results)

    def run(self, name, body):
        if self.failed:
            self.results.append((name, "not reached"))
            return
        try:
            body()
            self.results.append((name, ""))
            print(f"[       OK ] {name}", flush=True)
        except Exception as failure:  # noqa: BLE001 - any fault fails the step, not the run
            self.results.append((name, str(failure) or type(failure).__name__))
            print(f"[  FAILED  ] {name}: {failure}", flush=True)

    def write(self, path):
        failures = sum(1 for _, message in self.results if message)
        counts = f'tests="{len(self.results)}" failures="{failures}" disabled="0" errors="0"'
        cases = "".join(
            f'    <testcase name="{name}" status="run" classname="{self.suite}">'
            + (f"<failure message={quoteattr(message)}/>" if message else "") + "</testcase>\n"
            for name, message in self.results)
        with open(path, "w", encoding="utf-8") as report:
            report.write(f'<?xml version="1.0" encoding="UTF-8"?>\n<testsuites {counts} name="AllTests">\n'
                         f'  <testsuite name="{self.suite}" {counts}>\n{cases}  </testsuite>\n'
                         "</testsuites>\n")
        print(f"{len(self.results) - failures} of {len(self.results)} steps passed")
