#!/usr/bin/env python3
"""Fault injection: what share of small code changes do the fast tests catch?

Usage:
  tools/mutants.py [--configure] [--build-dir DIR] [--seed N] [--per-area N]
                   [--report FILE] [--list] [--only N]

  --configure    configure DIR first (Debug, -O1, no sanitizers, no benchmarks)
  --build-dir    build directory, relative to the repository (build-mutants)
  --seed         seed of the draw (20261206)
  --per-area     mutants per area (10)
  --report FILE  also write the results to FILE
  --list         print the drawn sites and build nothing
  --only N       run only mutant N of --list

For each area in AREAS the script finds every site it can change (comparison,
&& / ||, integer literal, binary + / -), draws --per-area of them with a fixed
seed, and for each one alone: changes the source, rebuilds, runs every ctest
test but the long runs and the end-to-end scripts, and records whether a test
failed (caught) or not (survived). A change that does not compile is dropped
and the next site of the same draw is taken. The source is restored after
every mutant, also on Ctrl-C; a copy of the file being changed is kept in
DIR/mutants-backup until it is restored.

Same seed, same areas and same method give a figure that can be measured
again after the code has changed.
"""

import argparse
import glob
import os
import random
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

# Areas and their files, relative to the repository root. The basenames are
# matched in any source folder so the table survives moving files around. A
# file that matches several areas counts in the first one only.
AREAS = [
    ("simulation", ["src/*/cars.cpp", "src/*/emitters.cpp", "src/*/lights.cpp", "src/*/step.cpp"]),
    ("road network", ["src/*/roads.cpp", "src/*/placing.cpp", "src/*/route.cpp"]),
    ("editor", ["src/*/input.cpp", "src/*/dialogs.cpp", "src/*/view.cpp"]),
    ("map format", ["src/mapfile/*.cpp"]),
    ("drawing", ["src/render/*.cpp"]),
    ("koravel-sim", ["tools/koravel_sim*.cpp", "tools/sim/*.cpp"]),
]

DEFAULT_SEED = 20261206
DEFAULT_PER_AREA = 10
DEFAULT_BUILD_DIR = "build-mutants"

# Every measurement must use this configuration, or the figures don't compare.
CONFIGURE_ARGS = [
    "-DCMAKE_BUILD_TYPE=Debug",
    "-DCMAKE_CXX_FLAGS=-O1",
    "-DKORAVEL_BENCH=OFF",
    "-DKORAVEL_SANITIZE=OFF",
    "-DKORAVEL_TESTS=ON",
]
EXPECTED_CACHE = {
    "CMAKE_BUILD_TYPE": "Debug",
    "CMAKE_CXX_FLAGS": "-O1",
    "KORAVEL_BENCH": "OFF",
    "KORAVEL_SANITIZE": "OFF",
}

BUILD_TIMEOUT = 3600
# ctest stops each test at 300 s; this only guards against ctest itself hanging.
TEST_TIMEOUT = 3600

ROOT = Path(__file__).resolve().parent.parent

# ---------------------------------------------------------------- lexing

OPERATORS = sorted(
    """<<= >>= <=> ->* ... :: << >> <= >= == != && || ++ -- += -= *= /= %= &= |= ^= ->
    .* ## < > + - * / % & | ^ ! ~ = ? : ; , . ( ) [ ] { } # @ \\ $""".split(),
    key=len, reverse=True)

STRING_PREFIXES = {"L", "u", "U", "u8", "R", "LR", "uR", "UR", "u8R"}

# After these a + or - is unary, a < is no template, a [ opens no declaration.
KEYWORDS = set("""alignas alignof and and_eq asm auto bitand bitor bool break case catch char
    char8_t char16_t char32_t class co_await co_return co_yield compl concept const consteval
    constexpr constinit const_cast continue decltype default delete do double dynamic_cast else
    enum explicit export extern false float for friend goto if inline int long mutable namespace
    new noexcept not not_eq nullptr operator or or_eq private protected public register
    reinterpret_cast requires return short signed sizeof static static_assert static_cast struct
    switch template this thread_local throw true try typedef typeid typename union unsigned using
    virtual void volatile wchar_t while xor xor_eq""".split())
# Type words that may stand before a declared name.
TYPE_WORDS = {"auto", "bool", "char", "char8_t", "char16_t", "char32_t", "double", "float",
              "int", "long", "short", "signed", "unsigned", "wchar_t", "const", "constexpr",
              "static"}

DECIMAL_INT = re.compile(r"^(0|[1-9][0-9']*)([uU](?:ll|LL|l|L)?|(?:ll|LL|l|L)[uU]?)?$")


class Token:
    __slots__ = ("kind", "text", "start", "end")

    def __init__(self, kind, text, start, end):
        self.kind, self.text, self.start, self.end = kind, text, start, end


def lex(src):
    """Tokens of C++ source, without comments, literals' insides or preprocessor lines.

    Kinds: 'id', 'num', 'op', 'str' (string or character literal)."""
    tokens = []
    i, n = 0, len(src)
    line_start = True  # only blanks since the last newline
    while i < n:
        c = src[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "\\" and src.startswith("\n", i + 1):
            i += 2
            continue
        if c == "#" and line_start:
            # Preprocessor line, with its continuations.
            while i < n and src[i] != "\n":
                if src[i] == "\\" and i + 1 < n and src[i + 1] == "\n":
                    i += 2
                elif src.startswith("/*", i):
                    end = src.find("*/", i + 2)
                    i = n if end < 0 else end + 2
                else:
                    i += 1
            continue
        line_start = False
        if src.startswith("//", i):
            end = src.find("\n", i)
            i = n if end < 0 else end
            continue
        if src.startswith("/*", i):
            end = src.find("*/", i + 2)
            i = n if end < 0 else end + 2
            continue
        if c.isdigit() or (c == "." and i + 1 < n and src[i + 1].isdigit()):
            j = i + 1
            while j < n:
                d = src[j]
                hex_number = src[i:j].lower().startswith("0x")
                if j + 1 < n and src[j + 1] in "+-" and d in ("pP" if hex_number else "eEpP"):
                    j += 2  # exponent sign, part of the number
                elif d.isalnum() or d in "_.":
                    j += 1
                elif d == "'" and j + 1 < n and src[j + 1].isalnum():
                    j += 1
                else:
                    break
            tokens.append(Token("num", src[i:j], i, j))
            i = j
            continue
        if c.isalpha() or c == "_":
            j = i + 1
            while j < n and (src[j].isalnum() or src[j] == "_"):
                j += 1
            word = src[i:j]
            if j < n and src[j] in "\"'" and word in STRING_PREFIXES:
                if word.endswith("R") and src[j] == '"':
                    open_paren = src.find("(", j)
                    delim = src[j + 1:open_paren]
                    end = src.find(")" + delim + '"', open_paren)
                    k = n if end < 0 else end + len(delim) + 2
                else:
                    k = skip_quoted(src, j)
                tokens.append(Token("str", src[i:k], i, k))
                i = k
                continue
            tokens.append(Token("id", word, i, j))
            i = j
            continue
        if c in "\"'":
            k = skip_quoted(src, i)
            tokens.append(Token("str", src[i:k], i, k))
            i = k
            continue
        for op in OPERATORS:
            if src.startswith(op, i):
                break
        else:
            op = c
        tokens.append(Token("op", op, i, i + len(op)))
        i += len(op)
    return tokens


def skip_quoted(src, i):
    quote = src[i]
    j = i + 1
    while j < len(src) and src[j] != quote and src[j] != "\n":
        j += 2 if src[j] == "\\" else 1
    return min(j + 1, len(src))


# ---------------------------------------------------------------- sites

TEMPLATE_KEYWORDS = {"template", "static_cast", "dynamic_cast", "const_cast", "reinterpret_cast"}
TEMPLATE_INNER = {"::", ",", "*", "&", "...", "(", ")", "[", "]"}


def template_ranges(tokens):
    """Indices of tokens that are template brackets or lie inside template arguments."""
    inside = set()
    for k, t in enumerate(tokens):
        if t.text != "<" or t.kind != "op" or k in inside or k == 0:
            continue
        prev = tokens[k - 1]
        if prev.kind != "id" or (prev.text in KEYWORDS and prev.text not in TEMPLATE_KEYWORDS):
            continue
        depth, parens = 1, 0
        for j in range(k + 1, min(k + 80, len(tokens))):
            u = tokens[j]
            if u.kind in ("id", "num"):
                continue
            if u.kind != "op":
                break
            if u.text == "<":
                depth += 1
            elif u.text == ">":
                depth -= 1
            elif u.text == ">>" and depth >= 2:
                depth -= 2
            elif u.text in ("(", "["):
                parens += 1
            elif u.text in (")", "]"):
                parens -= 1
                if parens < 0:
                    break
            elif u.text not in TEMPLATE_INNER:
                break
            if depth == 0:
                if parens == 0:
                    inside.update(range(k, j + 1))
                break
    return inside


def skipped_ranges(tokens):
    """Indices of tokens in static_assert(...) and in array sizes of declarations."""
    skip = set()
    for k, t in enumerate(tokens):
        if t.kind == "id" and t.text == "static_assert":
            skip.update(range(k, matching(tokens, k + 1) + 1))
        elif t.text == "[" and t.kind == "op" and k >= 2:
            name, before = tokens[k - 1], tokens[k - 2]
            declares = name.kind == "id" and name.text not in KEYWORDS and (
                (before.kind == "id" and (before.text not in KEYWORDS or before.text in TYPE_WORDS))
                or before.text in ("*", "&", ">"))
            if declares:
                skip.update(range(k, matching(tokens, k) + 1))
    return skip


def matching(tokens, k):
    """Index of the bracket that closes the one at k (or k itself if none opens there)."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    if k >= len(tokens) or tokens[k].text not in pairs:
        return k
    opener, closer, depth = tokens[k].text, pairs[tokens[k].text], 0
    for j in range(k, len(tokens)):
        if tokens[j].kind != "op":
            continue
        if tokens[j].text == opener:
            depth += 1
        elif tokens[j].text == closer:
            depth -= 1
            if depth == 0:
                return j
    return len(tokens) - 1


SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==",
         "&&": "||", "||": "&&", "+": "-", "-": "+"}


def is_binary_operand_end(t):
    """True if an operand can end with t, so that a following + or - is binary."""
    if t.kind == "num":
        return True
    if t.kind == "id":
        return t.text not in KEYWORDS or t.text in ("this", "true", "false", "nullptr")
    return t.kind == "op" and t.text in (")", "]")


def sites_in(src):
    """(offset, original, replacement) for every change the draw may pick, in source order."""
    tokens = lex(src)
    template = template_ranges(tokens)
    skip = skipped_ranges(tokens)
    found = []
    for k, t in enumerate(tokens):
        if k in template or k in skip:
            continue
        prev = tokens[k - 1] if k > 0 else None
        nxt = tokens[k + 1] if k + 1 < len(tokens) else None
        if prev is not None and prev.kind == "id" and prev.text == "operator":
            continue
        if t.kind == "num":
            m = DECIMAL_INT.match(t.text)
            if m:
                found.append((t.start, t.text, str(int(m.group(1).replace("'", "")) + 1) + (m.group(2) or "")))
            continue
        if t.kind != "op" or t.text not in SWAPS or prev is None:
            continue
        if t.text in ("+", "-") and not is_binary_operand_end(prev):
            continue
        if t.text == "&&":
            # T&& x, auto&& x: a reference, not a logical and.
            glued = prev.end == t.start and t.end < len(src) and src[t.end] in " \t"
            if glued or (nxt is not None and nxt.text in (")", ",", ">", "...")):
                continue
        found.append((t.start, t.text, SWAPS[t.text]))
    return found


class Site:
    def __init__(self, area, path, src, offset, old, new):
        self.area, self.path, self.offset, self.old, self.new = area, path, offset, old, new
        self.line = src.count("\n", 0, offset) + 1
        begin = src.rfind("\n", 0, offset) + 1
        end = src.find("\n", offset)
        end = len(src) if end < 0 else end
        self.column = offset - begin + 1
        self.before = src[begin:end].strip()
        self.after = (src[begin:offset] + new + src[offset + len(old):end]).strip()

    def where(self):
        return f"{self.path}:{self.line}:{self.column}"


def area_files():
    """[(area, [relative paths])], each existing file in the first area that matches it."""
    seen = set()
    result = []
    for area, patterns in AREAS:
        files = set()
        for pattern in patterns:
            for p in glob.glob(pattern, root_dir=ROOT):
                if (ROOT / p).is_file() and p not in seen:
                    files.add(p)
        seen |= files
        result.append((area, sorted(files)))
    return result


def draw(seed):
    """[(area, files, candidate count, sites in the order of the draw)]."""
    result = []
    for area, files in area_files():
        candidates = []
        for path in files:
            src = (ROOT / path).read_text(encoding="utf-8")
            for offset, old, new in sites_in(src):
                candidates.append(Site(area, path, src, offset, old, new))
        # Each area draws alone: changes elsewhere don't move its sites.
        order = list(candidates)
        random.Random(seed).shuffle(order)
        result.append((area, files, len(candidates), order))
    return result


# ---------------------------------------------------------------- running

class Aborted(Exception):
    pass


def kill_group(proc):
    for sig, wait in ((signal.SIGTERM, 10), (signal.SIGKILL, 10)):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        try:
            proc.wait(timeout=wait)
            return
        except subprocess.TimeoutExpired:
            pass


def run(cmd, log_path, timeout):
    """Exit code of cmd, its output appended to log_path; None if it ran out of time."""
    with open(log_path, "ab") as log:
        log.write(("$ " + " ".join(cmd) + "\n").encode())
        log.flush()
        proc = subprocess.Popen(cmd, cwd=ROOT, stdout=log, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            return proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            return None
        except BaseException:
            kill_group(proc)
            raise


class Runner:
    def __init__(self, build_dir):
        self.build = build_dir
        self.logs = build_dir / "mutants-logs"
        self.backups = build_dir / "mutants-backup"

    def build_cmd(self):
        return ["cmake", "--build", str(self.build), "-j2"]

    def test_cmd(self):
        return ["ctest", "--test-dir", str(self.build), "-E", "^(e2e|long)_", "-LE", "long",
                "-j2", "--timeout", "300", "--stop-on-failure"]

    def log_path(self, name):
        self.logs.mkdir(parents=True, exist_ok=True)
        path = self.logs / f"{name}.log"
        path.unlink(missing_ok=True)
        return path

    def check_cache(self):
        cache = self.build / "CMakeCache.txt"
        if not cache.exists():
            raise Aborted(f"{self.build} is not configured: run with --configure")
        values = {}
        for line in cache.read_text(errors="replace").splitlines():
            m = re.match(r"^([A-Za-z_0-9]+):[A-Z]+=(.*)$", line)
            if m:
                values[m.group(1)] = m.group(2)
        wrong = [f"{k}={values.get(k, '(unset)')} (want {v})" for k, v in EXPECTED_CACHE.items()
                 if values.get(k, "OFF" if v == "OFF" else None) != v]
        if wrong:
            raise Aborted(f"{self.build} is configured differently from every other measurement: "
                          + ", ".join(wrong) + "; run with --configure")

    def configure(self):
        log = self.log_path("configure")
        code = run(["cmake", "-S", str(ROOT), "-B", str(self.build)] + CONFIGURE_ARGS, log, 600)
        if code != 0:
            raise Aborted(f"configuring {self.build} failed, see {log}")

    def build_and_test(self, name):
        """('build-failed' | 'caught' | 'survived', detail)."""
        log = self.log_path(name)
        code = run(self.build_cmd(), log, BUILD_TIMEOUT)
        if code is None:
            raise Aborted(f"the build took over {BUILD_TIMEOUT} s, see {log}")
        if code != 0:
            text = log.read_text(errors="replace")
            # gtest_discover_tests runs each test program while building.
            if "Error running test executable" in text:
                return "caught", "test program failed while listing its tests"
            return "build-failed", ""
        start = log.stat().st_size
        code = run(self.test_cmd(), log, TEST_TIMEOUT)
        with open(log, errors="replace") as f:
            f.seek(start)
            text = f.read()
        if code is None:
            return "caught", f"ctest still running after {TEST_TIMEOUT} s"
        if "No tests were found" in text or not re.search(r"tests passed, \d+ tests failed out of [1-9]", text):
            if code == 0:
                raise Aborted(f"ctest ran no test, see {log}")
        if code == 0:
            return "survived", ""
        failed = re.findall(r"Test\s+#\d+: (\S+) \.*\s*(\*\*\*\w+|[A-Z][A-Za-z]+(?: \w+)?)", text)
        failed = [f"{n} ({s.strip('*')})" for n, s in failed if s not in ("Passed",) and "Skipped" not in s
                  and "Not Run" not in s]
        return "caught", ", ".join(failed[:3]) if failed else f"ctest exit {code}"

    # -- changing sources

    def check_leftovers(self):
        if not self.backups.exists():
            return
        for backup in sorted(p for p in self.backups.rglob("*") if p.is_file()):
            rel = backup.relative_to(self.backups)
            target = ROOT / rel
            if target.exists() and target.read_bytes() == backup.read_bytes():
                backup.unlink()
            else:
                raise Aborted(f"an interrupted run left {target} changed; its original is {backup}: "
                              f"copy it back (cp '{backup}' '{target}') or remove the backup")

    def mutate(self, site, body):
        """Runs body() with site applied, restoring the file exactly afterwards."""
        target = ROOT / site.path
        original = target.read_bytes()
        src = original.decode("utf-8")
        if src[site.offset:site.offset + len(site.old)] != site.old:
            raise Aborted(f"{site.where()} no longer reads {site.old!r}")
        was_clean = subprocess.run(["git", "diff", "--quiet", "--", site.path], cwd=ROOT).returncode == 0
        backup = self.backups / site.path
        backup.parent.mkdir(parents=True, exist_ok=True)
        backup.write_bytes(original)
        try:
            mutated = src[:site.offset] + site.new + src[site.offset + len(site.old):]
            target.write_bytes(mutated.encode("utf-8"))
            return body()
        finally:
            # A fresh write gives the file a new time stamp, so the next build
            # compiles it again instead of keeping the mutant's object file.
            target.write_bytes(original)
            if target.read_bytes() != original:
                raise Aborted(f"could not restore {target}; its original is {backup}")
            if was_clean and subprocess.run(["git", "diff", "--quiet", "--", site.path],
                                            cwd=ROOT).returncode != 0:
                raise Aborted(f"{target} differs from git after restoring; its original is {backup}")
            backup.unlink()
            for folder in backup.parents:
                if folder == self.backups.parent or any(folder.iterdir()):
                    break
                folder.rmdir()


# ---------------------------------------------------------------- report

class Report:
    def __init__(self, path, header):
        self.path = path
        self.lines = list(header)

    def add(self, line=""):
        print(line, flush=True)
        self.lines.append(line)
        self.save(partial=True)

    def save(self, partial=False):
        if not self.path:
            return
        text = "\n".join(self.lines) + "\n"
        if partial:
            text += "(run not finished)\n"
        Path(self.path).write_text(text)


def git_commit():
    head = subprocess.run(["git", "rev-parse", "--short", "HEAD"], cwd=ROOT,
                          capture_output=True, text=True).stdout.strip() or "unknown"
    dirty = subprocess.run(["git", "diff", "--quiet", "HEAD"], cwd=ROOT).returncode != 0
    return head + (" with uncommitted changes" if dirty else "")


def mutant_line(number, site, outcome, detail):
    line = (f"#{number:<3} {site.area:<13} {site.where():<34} {site.old:>2} -> {site.new:<3} "
            f"{outcome:<12} | {site.before}  =>  {site.after}")
    return line + (f"  [{detail}]" if detail else "")


def percent(a, b):
    return f"{100.0 * a / b:.0f}%" if b else "-"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", default=DEFAULT_BUILD_DIR,
                        help="build directory, relative to the repository (%(default)s)")
    parser.add_argument("--configure", action="store_true",
                        help="configure the build directory first (Debug, -O1, no sanitizers)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED, help="seed of the draw (%(default)s)")
    parser.add_argument("--per-area", type=int, default=DEFAULT_PER_AREA,
                        help="mutants per area (%(default)s)")
    parser.add_argument("--report", metavar="FILE", help="also write the results to FILE")
    parser.add_argument("--list", action="store_true", help="print the drawn sites and build nothing")
    parser.add_argument("--only", type=int, metavar="N", help="run only mutant N of --list")
    args = parser.parse_args()

    drawn = draw(args.seed)
    picks = []  # (number, area index, position in the draw)
    for a, (area, files, count, order) in enumerate(drawn):
        for pos in range(min(args.per_area, len(order))):
            picks.append((len(picks) + 1, a, pos))

    header = [f"Koravel mutants: commit {git_commit()}, seed {args.seed}, {args.per_area} per area",
              "Tests: every ctest test but long_* and e2e_*; build: Debug -O1, no sanitizers", ""]
    for area, files, count, order in drawn:
        header.append(f"{area}: {count} sites in {', '.join(files) if files else '(no file)'}")
    header.append("")

    if args.list:
        for line in header:
            print(line)
        for number, a, pos in picks:
            print(mutant_line(number, drawn[a][3][pos], "", ""))
        return 0
    if args.only is not None and not 1 <= args.only <= len(picks):
        parser.error(f"--only takes 1 to {len(picks)}")

    build_dir = Path(args.build_dir)
    if not build_dir.is_absolute():
        build_dir = ROOT / build_dir
    runner = Runner(build_dir)
    report = Report(args.report, header)
    for line in header:
        print(line)

    def on_term(signum, frame):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, on_term)

    started = time.monotonic()
    try:
        if args.configure:
            runner.configure()
        runner.check_cache()
        runner.check_leftovers()

        print("Baseline: building and running the tests unchanged...", flush=True)
        outcome, detail = runner.build_and_test("baseline")
        if outcome != "survived":
            raise Aborted("the unchanged code does not pass: "
                          + (detail or "build failed") + f", see {runner.logs / 'baseline.log'}")
        report.add(f"Baseline passes ({time.monotonic() - started:.0f} s).")
        report.add("")

        results = {area: [] for area, _, _, _ in drawn}
        discarded = {area: 0 for area, _, _, _ in drawn}
        if args.only is not None:
            todo = [p for p in picks if p[0] == args.only]
            replace = False
        else:
            todo = picks
            replace = True
        next_pos = {a: args.per_area for a in range(len(drawn))}
        survivors = []
        for number, a, pos in todo:
            area, _, _, order = drawn[a]
            while True:
                site = order[pos]
                t0 = time.monotonic()
                outcome, detail = runner.mutate(site, lambda: runner.build_and_test(f"mutant-{number:03}"))
                detail = (detail + "; " if detail else "") + f"{time.monotonic() - t0:.0f} s"
                if outcome != "build-failed":
                    results[area].append(outcome)
                    if outcome == "survived":
                        survivors.append(mutant_line(number, site, outcome, ""))
                    report.add(mutant_line(number, site, outcome, detail))
                    break
                discarded[area] += 1
                report.add(mutant_line(number, site, outcome, "discarded"))
                if not replace or next_pos[a] >= len(order):
                    break
                pos = next_pos[a]
                next_pos[a] += 1

        # Leave the build matching the sources again.
        run(runner.build_cmd(), runner.log_path("final"), BUILD_TIMEOUT)

        report.add("")
        total_caught = total = 0
        for area, _, _, _ in drawn:
            caught = results[area].count("caught")
            ran = len(results[area])
            if args.only is not None and not ran and not discarded[area]:
                continue
            total_caught += caught
            total += ran
            report.add(f"{area:<13} {caught:>3} / {ran:<3} caught  {percent(caught, ran):>4}"
                       f"   ({discarded[area]} did not compile)")
        elapsed = time.monotonic() - started
        report.add(f"{'total':<13} {total_caught:>3} / {total:<3} caught  {percent(total_caught, total):>4}"
                   f"   in {elapsed / 60:.0f} min")
        if survivors:
            report.add("")
            report.add("Survived:")
            for line in survivors:
                report.add(line)
        report.save()
        return 0
    except Aborted as e:
        report.add(f"STOPPED: {e}")
        return 2
    except KeyboardInterrupt:
        report.add("STOPPED: interrupted; sources restored")
        return 130


if __name__ == "__main__":
    sys.exit(main())
