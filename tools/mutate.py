#!/usr/bin/env python3
"""Measures how many mechanically made faults the x64 test suite catches.

The faults of tools/faults/ were written next to the tests that catch them; these are
not. Every site of the library's sources where one simple operator applies is a
candidate mutant; a seeded sample of them is tried one at a time in a scratch copy of
the checkout (build/mutate/src, its build tree build/mutate/src/build/x64), so the
checkout itself is never changed. For each mutant the library is built incrementally
(a mutant that does not compile is listed and left out of the score), then the tests
run one at a time, fastest first, until one fails; a test that runs far past its usual
time counts as catching the mutant (a hang is a fault Office would see).

Score: caught / (built - equivalent). Equivalent mutants (no behaviour can tell them
from the original) are judged by reading and listed with the reason in
tools/mutate-equivalent.txt, one "ID reason" a line.

A mutant's ID is a hash of its file, operator, the text of its line and its place in
that line, so it stays the same while that line does, whatever the seed; --only ID
tries that one again.
"""

import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_DIRS = ("host", "client", "contacts", "registration", "fileutils")
SCRATCH = os.path.join(ROOT, "build", "mutate", "src")
BUILD = os.path.join(SCRATCH, "build", "x64")
PREFIX = os.path.join(BUILD, "wineprefix")
EQUIVALENT_FILE = os.path.join(ROOT, "tools", "mutate-equivalent.txt")
TIMES_FILE = os.path.join(BUILD, "mutate-test-times.tsv")
RESULTS_FILE = os.path.join(BUILD, "mutate-results.tsv")
LOG_DIR = os.path.join(BUILD, "mutate-logs")

# Tests that cannot see the library's faults (benchmarks assert nothing; the marshaller
# test does not load the library), that only start the services, or that build and
# install the whole package (minutes each time, for a start and a stop the others make).
NOT_RUN = re.compile(r"^(wine\.(start|stop)|.*_bench|package_consumer_test)$")
# Tests that are not a target of their own name, and the target that builds what they run.
TEST_TARGETS = {"host_dll_exports": "orvex_office_integration",
                "type_library_win32_file": "orvex_typelib_win32",
                "fuzz_short": "orvex_fuzz", "fuzz_short_cross_process": "orvex_fuzz"}
# The library's layers (object libraries): building them compiles a mutant without linking
# anything, so one that does not compile stops here.
LAYER_TARGETS = ["orvex_host", "orvex_com", "orvex_registration", "orvex_contacts", "orvex_client", "orvex_lifecycle"]


# --- Finding mutation sites -------------------------------------------------------------

def mask(text):
    """The text with comments, string and character literals blanked (newlines kept), so
    that patterns match code only and every offset stays the same."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    while i < n:
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif text[i] == 'R' and text.startswith('R"', i) and not (i and (text[i - 1].isalnum() or text[i - 1] == "_")):
            delimiter = text[i + 2:text.find("(", i)]
            end = text.find(")" + delimiter + '"', i) + len(delimiter) + 2
            blank(i + 1, end)
            i = end
        elif text[i] in "\"'":
            quote, j = text[i], i + 1
            if quote == "'" and i and text[i - 1].isalnum():  # a digit separator: 1'000
                i += 1
                continue
            while j < n and text[j] != quote:
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, j)
            i = j + 1
        else:
            i += 1
    return "".join(out)


@dataclass
class Mutant:
    id: str
    path: str        # relative to the checkout
    line: int
    operator: str
    start: int       # offsets into the file's text
    end: int
    before: str
    after: str

    def apply(self, text):
        return text[:self.start] + self.after + text[self.end:]

    def shown(self, text):
        return " ".join(text.split())[:60]


def matching(code, open_at):
    """Offset of the bracket closing the one at open_at, or -1."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    stack = []
    for k in range(open_at, len(code)):
        c = code[k]
        if c in pairs:
            stack.append(pairs[c])
        elif c in ")]}":
            if not stack or stack.pop() != c:
                return -1
            if not stack:
                return k
    return -1


def split_top_level(code, start, end, separators):
    """(start, end) spans of code[start:end] split at the separators outside brackets."""
    spans, depth, k, piece = [], 0, start, start
    while k < end:
        c = code[k]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif depth == 0:
            hit = next((s for s in separators if code.startswith(s, k)), None)
            if hit:
                spans.append((piece, k))
                k += len(hit)
                piece = k
                continue
        k += 1
    spans.append((piece, end))
    return spans


def trimmed(code, span):
    start, end = span
    while start < end and code[start].isspace():
        start += 1
    while end > start and code[end - 1].isspace():
        end -= 1
    return start, end


KEYWORDS = {"if", "for", "while", "switch", "return", "sizeof", "catch", "delete", "throw", "new",
            "static_assert", "decltype", "alignof", "noexcept", "defined", "operator", "case"}
CHAIN = r"[A-Za-z_]\w*(?:(?:::|\.|->)[A-Za-z_]\w*)*"
COMPARISONS = {"==": "!=", "!=": "==", "<": ">=", ">=": "<", ">": "<=", "<=": ">"}
BOOLEANS = {"true": "false", "false": "true", "TRUE": "FALSE", "FALSE": "TRUE",
            "VARIANT_TRUE": "VARIANT_FALSE", "VARIANT_FALSE": "VARIANT_TRUE"}


def sites(path, text):
    """(operator, start, end, replacement) for every mutation site of one file."""
    code = mask(text)
    directive_lines = [(m.start(), m.end()) for m in re.finditer(r"(?m)^\s*#.*$", code)]

    def in_directive(offset):
        return any(a <= offset < b for a, b in directive_lines)

    found = []
    # Comparisons with spaces around them (template brackets and shifts have none).
    for m in re.finditer(r"(?<=[\s)])(==|!=|<=|>=|<|>)(?=\s)", code):
        found.append(("comparison", m.start(), m.end(), COMPARISONS[m.group(1)]))
    for m in re.finditer(r"\b(" + "|".join(BOOLEANS) + r")\b", code):
        found.append(("boolean", m.start(), m.end(), BOOLEANS[m.group(1)]))
    # Integer constants, except in tables of identifiers (GUIDs: three hex numbers a line).
    for m in re.finditer(r"(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])", code):
        line = code[code.rfind("\n", 0, m.start()) + 1:code.find("\n", m.start())]
        if len(re.findall(r"0[xX][0-9A-Fa-f]+", line)) >= 3:
            continue
        value = int(m.group(1), 0)
        end = m.start() + len(m.group(1))
        if value == 0:
            found.append(("constant", m.start(), end, "1"))
        else:
            found.append(("constant", m.start(), end, str(value + 1)))
            found.append(("constant", m.start(), end, "0"))
    # A call statement whose result is ignored, dropped.
    for m in re.finditer(r"(?m)^[ \t]*(" + CHAIN + r")\s*\(", code):
        name = m.group(1)
        if name in KEYWORDS or name.split("::")[-1] in KEYWORDS:
            continue
        previous = code[:m.start()].rstrip()
        if previous and previous[-1] not in ";{}:" and not previous.endswith("else"):
            continue
        close = matching(code, m.end() - 1)
        if close < 0:
            continue
        semicolon = close + 1
        while semicolon < len(code) and code[semicolon].isspace():
            semicolon += 1
        if semicolon < len(code) and code[semicolon] == ";":
            start = m.start(1)
            found.append(("drop-call", start, semicolon + 1, ";"))
    # Two neighbouring arguments of one call swapped, when both are names or both numbers
    # (the compiler refuses most swaps of different types: those are listed as not built).
    for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", code):
        if m.group(1) in KEYWORDS:
            continue
        close = matching(code, m.end() - 1)
        if close < 0:
            continue
        arguments = [trimmed(code, s) for s in split_top_level(code, m.end(), close, [","])]
        for (a0, a1), (b0, b1) in zip(arguments, arguments[1:]):
            first, second = code[a0:a1], code[b0:b1]
            # Constants are swapped with constants and variables with variables: other
            # pairs hardly ever have one type.
            constant = lambda name: re.fullmatch(r"(?:\w+::)*(?:[A-Z][A-Z0-9_]*|k[A-Z]\w*)", name)
            names = (re.fullmatch(CHAIN, first) and re.fullmatch(CHAIN, second)
                     and bool(constant(first)) == bool(constant(second)) and "__" not in first + second)
            numbers = re.fullmatch(r"\d+", first) and re.fullmatch(r"\d+", second)
            if (names or numbers) and first != second:
                found.append(("swap-args", a0, b1, text[b0:b1] + text[a1:b0] + text[a0:a1]))
    # A function returning an HRESULT that returns S_OK before doing anything.
    for m in re.finditer(r"\bHRESULT\s+(?:STDMETHODCALLTYPE\s+)?(" + CHAIN + r")\s*\(", code):
        if m.group(1) in KEYWORDS:
            continue
        close = matching(code, m.end() - 1)
        body = re.compile(r"\s*(?:const\s*)?(?:noexcept\s*)?(?:override\s*)?(?:final\s*)?\{").match(code, close + 1)
        if close < 0 or not body:
            continue
        brace = body.end() - 1
        inside = code[brace + 1:matching(code, brace)]
        if " ".join(inside.split()) == "return S_OK;":
            continue
        found.append(("return-s-ok", brace + 1, brace + 1, " return S_OK;"))
    # A null check removed: "!p" or "p == nullptr" among the alternatives of an if's
    # condition, "p" or "p != nullptr" among its conditions.
    for m in re.finditer(r"\bif\s*\(", code):
        close = matching(code, m.end() - 1)
        if close < 0:
            continue
        condition = code[m.end():close]
        if re.search(r"(?<![=!<>])=(?!=)", condition):  # a declaration in the condition
            continue
        for separator, null_test, kept_when_alone in (
                ("||", r"!\s*" + CHAIN + r"|" + CHAIN + r"\s*==\s*nullptr|nullptr\s*==\s*" + CHAIN, "false"),
                ("&&", CHAIN + r"|" + CHAIN + r"\s*!=\s*nullptr", "true")):
            other = "&&" if separator == "||" else "||"
            terms = [trimmed(code, s) for s in split_top_level(code, m.end(), close, [separator])]
            if any(other in code[a:b] and "(" not in code[a:b] for a, b in terms) and len(terms) > 1:
                continue
            if separator == "&&" and len(terms) == 1 and "nullptr" not in condition:
                continue  # "if (flag)" alone is a boolean, not a null check
            for index, (a, b) in enumerate(terms):
                if not re.fullmatch(null_test, code[a:b]):
                    continue
                if len(terms) == 1:
                    found.append(("null-check", a, b, kept_when_alone))
                elif index + 1 < len(terms):
                    found.append(("null-check", a, terms[index + 1][0], ""))
                else:
                    found.append(("null-check", terms[index - 1][1], b, ""))
    return [s for s in found if not in_directive(s[1])]


def source_files(headers):
    """The library's sources; headers only when asked for, since a mutant in a header
    rebuilds every file that includes it (for the COM machinery, nearly all of them)."""
    for folder in SOURCE_DIRS:
        for directory, _, files in os.walk(os.path.join(ROOT, folder)):
            for name in sorted(files):
                if name.endswith((".cpp", ".h") if headers else ".cpp"):
                    yield os.path.relpath(os.path.join(directory, name), ROOT)


def all_mutants(headers):
    mutants = []
    for path in sorted(source_files(headers)):
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            text = f.read()
        seen = {}
        for operator, start, end, after in sorted(sites(path, text), key=lambda s: (s[1], s[0], s[3])):
            line_start = text.rfind("\n", 0, start) + 1
            line_end = text.find("\n", start)
            line_text = text[line_start:line_end]
            key = (operator, line_text.strip(), start - line_start, end - start, after)
            seen[key] = seen.get(key, 0) + 1
            digest = hashlib.sha1(repr((path, key, seen[key])).encode()).hexdigest()[:7]
            mutants.append(Mutant("m" + digest, path, text.count("\n", 0, start) + 1, operator,
                                  start, end, text[start:end], after))
    return mutants


# --- Running ------------------------------------------------------------------------------

def run(command, log=None, timeout=None, cwd=None):
    """Runs a command in its own process group; returns its exit code, or None after the
    timeout (the whole group is then killed)."""
    with open(log, "a") if log else open(os.devnull, "w") as out:
        process = subprocess.Popen(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                   start_new_session=True, preexec_fn=lambda: os.nice(10))
        try:
            return process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return None


def sync_scratch(committed):
    """Makes the scratch copy hold the checkout's files: the working tree's (tracked and
    new), or with `committed` those of HEAD, so that work in progress stays out of a run.
    A file is written only when its content differs, and then with a new time stamp, so
    that make rebuilds exactly what changed, a mutant left by an interrupted run included."""
    origin = ROOT
    if committed:
        origin = os.path.join(os.path.dirname(SCRATCH), "head")
        shutil.rmtree(origin, ignore_errors=True)
        os.makedirs(origin)
        archive = subprocess.run(["git", "archive", "HEAD"], cwd=ROOT, check=True, capture_output=True).stdout
        subprocess.run(["tar", "-x", "-C", origin], input=archive, check=True)
        listed = subprocess.run(["git", "ls-tree", "-r", "-z", "--name-only", "HEAD"],
                                cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
        listed += [".toolchain"]
        if os.path.lexists(os.path.join(ROOT, ".toolchain")) and not os.path.lexists(os.path.join(origin, ".toolchain")):
            os.symlink(os.path.realpath(os.path.join(ROOT, ".toolchain")), os.path.join(origin, ".toolchain"))
    else:
        listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                                cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
    wanted = {p for p in listed if p and os.path.lexists(os.path.join(origin, p))}
    for path in sorted(wanted):
        source, copy = os.path.join(origin, path), os.path.join(SCRATCH, path)
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        if path == ".toolchain" and os.path.lexists(copy):
            continue  # the compilers' side, not the sources': the scratch copy may hold its own
        if os.path.islink(source):
            if not os.path.islink(copy) or os.readlink(copy) != os.readlink(source):
                if os.path.lexists(copy):
                    os.remove(copy)
                os.symlink(os.readlink(source), copy)
            continue
        with open(source, "rb") as f:
            content = f.read()
        if os.path.isfile(copy) and not os.path.islink(copy):
            with open(copy, "rb") as f:
                if f.read() == content:
                    continue
        with open(copy, "wb") as f:
            f.write(content)
        shutil.copymode(source, copy)
    for directory, folders, files in os.walk(SCRATCH):
        relative = os.path.relpath(directory, SCRATCH)
        if relative == ".":
            folders[:] = [d for d in folders if d not in ("build", ".toolchain")]
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            if path not in wanted:
                os.remove(os.path.join(directory, name))


def build(targets, log):
    targets = [targets] if isinstance(targets, str) else targets
    return run(["cmake", "--build", BUILD, "--target", *targets, "-j2"], log=log) == 0


def list_tests():
    out = subprocess.run(["ctest", "--test-dir", BUILD, "-N"], capture_output=True, text=True, check=True).stdout
    return [t for t in re.findall(r"Test +#\d+: (\S+)", out) if not NOT_RUN.match(t)]


def read_times():
    times = {}
    if os.path.exists(TIMES_FILE):
        with open(TIMES_FILE) as f:
            for line in f:
                name, seconds = line.split()
                times[name] = float(seconds)
    return times


def services(action):
    run([os.path.join(SCRATCH, "scripts", "wine-services.sh"), action, PREFIX])


def restart_services():
    services("stop")
    services("start")


class Suite:
    def __init__(self):
        self.targets = set(re.findall(r"^\.\.\. (\S+)", subprocess.run(
            ["cmake", "--build", BUILD, "--target", "help"], capture_output=True, text=True).stdout, re.M))
        self.times = read_times()
        # Fastest first, so that a mutant caught by a unit test costs seconds.
        self.tests = sorted(list_tests(), key=lambda t: self.times.get(t, 1e9))

    def target(self, test):
        return TEST_TARGETS.get(test, test if test in self.targets else "all")

    def all_targets(self):
        return LAYER_TARGETS + sorted({self.target(t) for t in self.tests})

    def limit(self, test):
        usual = self.times.get(test)
        return 1800 if usual is None else max(120, 5 * usual)

    def run_test(self, test, log):
        """'passed', 'failed' or 'hang'."""
        code = run(["ctest", "--test-dir", BUILD, "-R", "^" + re.escape(test) + "$", "-FS", "wine", "-FC", "wine",
                    "--output-on-failure", "--timeout", "3600"], log=log, timeout=self.limit(test))
        if code is None:
            restart_services()  # what the hung test left running
            return "hang"
        return "passed" if code == 0 else "failed"

    def confirmed(self, test, log):
        """Whether a failure comes again with fresh services: a host killed by an earlier
        test leaves its class object registered with Wine's RPC service, and every later
        test across processes then fails without any mutant's help."""
        restart_services()
        return self.run_test(test, log) != "passed"


def baseline(suite, log):
    """Builds everything and times each test on the unchanged library; all must pass."""
    print("baseline: building and timing the suite on the unchanged library", flush=True)
    if not build(suite.all_targets(), log):
        sys.exit(f"the unchanged library does not build; see {log}")
    times = {}
    for test in suite.tests:
        started = time.monotonic()
        if suite.run_test(test, log) != "passed":
            sys.exit(f"{test} fails on the unchanged library; see {log}")
        times[test] = time.monotonic() - started
        print(f"  {test}: {times[test]:.0f} s", flush=True)
    with open(TIMES_FILE, "w") as f:
        for name, seconds in times.items():
            f.write(f"{name}\t{seconds:.1f}\n")
    suite.times = times
    suite.tests = sorted(suite.tests, key=lambda t: times[t])


def try_mutant(mutant, suite, budget):
    """Applies the mutant in the scratch copy, builds, runs the tests until one fails, and
    always puts the file back. Returns (result, test)."""
    path = os.path.join(SCRATCH, mutant.path)
    with open(path, encoding="utf-8") as f:
        original = f.read()
    if original[mutant.start:mutant.end] != mutant.before:
        return "stale", ""
    log = os.path.join(LOG_DIR, mutant.id + ".log")
    if os.path.exists(log):
        os.remove(log)
    restore = lambda *_: write(path, original)  # noqa: E731
    handlers = {s: signal.getsignal(s) for s in (signal.SIGINT, signal.SIGTERM)}
    try:
        write(path, mutant.apply(original))
        for s in handlers:
            signal.signal(s, lambda number, frame: (restore(), sys.exit(128 + number)))
        if not build(LAYER_TARGETS, log):
            return not_built(mutant, log, "")
        # Each mutant starts from services no earlier one has touched.
        restart_services()
        deadline = time.monotonic() + budget
        for test in suite.tests:
            if time.monotonic() > deadline:
                return "hang", "(budget)"
            if not build(suite.target(test), log):
                return not_built(mutant, log, test)
            outcome = suite.run_test(test, log)
            if outcome == "hang":
                return "hang", test
            if outcome == "failed" and suite.confirmed(test, log):
                return "caught", test
        return "survived", ""
    finally:
        restore()
        for s, handler in handlers.items():
            signal.signal(s, handler)


def not_built(mutant, log, test):
    """A build that fails on the mutated file is the mutant's; one that fails elsewhere
    means the scratch build itself is broken, and no result after it could be trusted."""
    with open(log, encoding="utf-8", errors="replace") as f:
        if os.path.join(SCRATCH, mutant.path) + ":" in f.read():  # the compiler's messages name it
            return "not built", test
    sys.exit(f"the build failed outside {mutant.path}; see {log}")


def write(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


# --- Reporting ----------------------------------------------------------------------------

def read_equivalent():
    equivalent = {}
    if os.path.exists(EQUIVALENT_FILE):
        with open(EQUIVALENT_FILE, encoding="utf-8") as f:
            for line in f:
                line = line.strip()
                if line and not line.startswith("#"):
                    identifier, _, reason = line.partition(" ")
                    equivalent[identifier] = reason.strip()
    return equivalent


def read_results():
    results = []
    if os.path.exists(RESULTS_FILE):
        with open(RESULTS_FILE, encoding="utf-8") as f:
            results = [line.rstrip("\n").split("\t") for line in f if line.strip()]
    return results


def report(results):
    equivalent = read_equivalent()
    print()
    print("| Mutant | Where | Operator | Before | After | Result |")
    print("|---|---|---|---|---|---|")
    counts = {"caught": 0, "survived": 0, "not built": 0, "equivalent": 0}
    for identifier, where, operator, before, after, result, test in results:
        if result in ("caught", "hang"):
            shown = f"caught by {test}" + (" (time limit)" if result == "hang" else "")
            counts["caught"] += 1
        elif result == "survived" and identifier in equivalent:
            shown = f"survived, equivalent: {equivalent[identifier]}"
            counts["equivalent"] += 1
        elif result == "survived":
            shown = "SURVIVED"
            counts["survived"] += 1
        else:
            shown = "did not build" if result == "not built" else result
            counts["not built"] += result == "not built"
        print(f"| {identifier} | {where} | {operator} | `{before}` | `{after}` | {shown} |")
    scored = counts["caught"] + counts["survived"]
    print()
    print(f"built {scored + counts['equivalent']}, equivalent {counts['equivalent']}, "
          f"caught {counts['caught']}, survived {counts['survived']}, did not build {counts['not built']}")
    if scored:
        print(f"score: {counts['caught']}/{scored} = {100.0 * counts['caught'] / scored:.0f}%")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sample", type=int, default=40, help="how many mutants to try (default 40)")
    parser.add_argument("--seed", type=int, default=1, help="seed of the sample (default 1)")
    parser.add_argument("--only", action="append", default=[], metavar="ID", help="try this mutant (repeatable)")
    parser.add_argument("--list", action="store_true", help="list the sample (or with --all every site) and stop")
    parser.add_argument("--all", action="store_true", help="with --list: every candidate site")
    parser.add_argument("--report", action="store_true", help="print the table of the last run and stop")
    parser.add_argument("--baseline", action="store_true", help="time the unchanged suite again")
    parser.add_argument("--headers", action="store_true", help="sample the headers' code too (slow to rebuild)")
    parser.add_argument("--committed", action="store_true",
                        help="test what HEAD holds, not the working tree (keep working while it runs)")
    parser.add_argument("--budget", type=int, default=1500, help="seconds of testing per mutant (default 1500)")
    args = parser.parse_args()

    if args.report:
        report(read_results())
        return
    mutants = all_mutants(args.headers or bool(args.only))
    if args.only:
        by_id = {m.id: m for m in mutants}
        unknown = [i for i in args.only if i not in by_id]
        if unknown:
            sys.exit("no such mutant (has its line changed?): " + " ".join(unknown))
        chosen = [by_id[i] for i in args.only]
    else:
        chosen = random.Random(args.seed).sample(mutants, min(args.sample, len(mutants)))
    if args.list:
        counts = {}
        for m in mutants:
            counts[m.operator] = counts.get(m.operator, 0) + 1
        print(f"{len(mutants)} sites: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))
        for m in (mutants if args.all else chosen):
            print(f"{m.id}  {m.path}:{m.line}  {m.operator}  {m.shown(m.before)!r} -> {m.shown(m.after)!r}")
        return

    os.makedirs(LOG_DIR, exist_ok=True)
    sync_scratch(args.committed)
    log = os.path.join(BUILD, "mutate-build.log")
    if run(["cmake", "--preset", "x64"], log=log, cwd=SCRATCH) != 0:
        sys.exit(f"cannot configure the scratch build; see {log}")
    services("start")
    try:
        suite = Suite()
        if args.baseline or not suite.times:
            baseline(suite, log)
        elif not build(suite.all_targets(), log):
            sys.exit(f"the unchanged library does not build; see {log}")
        print(("chosen: " if args.only else f"seed {args.seed}: ") + f"{len(chosen)} of {len(mutants)} mutants; tests in order: "
              + ", ".join(suite.tests), flush=True)
        # A run of chosen mutants replaces their earlier results and keeps the others.
        kept = [r for r in read_results() if args.only and r[0] not in args.only]
        with open(RESULTS_FILE, "w", encoding="utf-8") as f:
            f.writelines("\t".join(r) + "\n" for r in kept)
        for number, mutant in enumerate(chosen, 1):
            started = time.monotonic()
            result, test = try_mutant(mutant, suite, args.budget)
            where = f"{mutant.path}:{mutant.line}"
            print(f"[{number}/{len(chosen)}] {mutant.id} {where} {mutant.operator}: {result} {test} "
                  f"({time.monotonic() - started:.0f} s)", flush=True)
            with open(RESULTS_FILE, "a", encoding="utf-8") as f:
                fields = [mutant.id, where, mutant.operator, mutant.shown(mutant.before).replace("|", "\\|"),
                          mutant.shown(mutant.after).replace("|", "\\|") or "(removed)", result, test]
                f.write("\t".join(fields) + "\n")
    finally:
        services("stop")
    report(read_results())


if __name__ == "__main__":
    main()
