#!/usr/bin/env bash
# Mutation check: plants each fault listed in tests/mutants.txt, one at a time, into a scratch git
# worktree, rebuilds it incrementally and runs the test suites the entry names. A mutant is
#   killed          a selected test fails, or the build fails (the compiler saw the fault)
#   survived        every selected test passes: the tests miss this fault
#   not applicable  its snippet is not found exactly once in the file any more (update the entry)
# The tree tested is the current checkout, uncommitted changes to tracked files included.
#
#   scripts/mutants.sh [-j N] [--list] [--clean] [NAME-REGEX]
#     NAME-REGEX     runs only the mutants whose name matches (Python regular expression)
#     -j N           build and test jobs (2)
#     --list         prints the mutants and exits
#     --clean        removes the scratch worktree and its builds afterwards
# The scratch worktree is $TSR_MUTANTS_DIR (default: <repo>/build/mutants-worktree); its build
# folders are kept between runs, so a second run rebuilds only what changed. Exit status 0 when
# every selected mutant is killed, 1 otherwise. Runs on demand, not in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'PYTHON'
import os, re, subprocess, sys, time

root = os.getcwd()
args = sys.argv[1:]
jobs, only, list_only, clean = "2", None, False, False
while args:
    a = args.pop(0)
    if a == "-j": jobs = args.pop(0)
    elif a == "--list": list_only = True
    elif a == "--clean": clean = True
    elif a in ("-h", "--help"):
        print(open(os.path.join(root, "scripts/mutants.sh")).read().split("set -euo")[0]); sys.exit(0)
    else: only = a

# Entries: "== name" then "key: value" lines (file, find, replace, preset, tests, fault).
# find/replace may span lines: continuation lines start with "| ".
def parse(path):
    entries, cur, key = [], None, None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("#") or not line.strip():
            key = None if not line.strip() else key
            continue
        if line.startswith("== "):
            cur = {"name": line[3:].strip(), "preset": "native"}
            entries.append(cur); key = None
        elif line.startswith("| ") and key in ("find", "replace"):
            cur[key] += "\n" + line[2:]
        else:
            k, _, v = line.partition(":")
            key = k.strip()
            cur[key] = v[1:] if v.startswith(" ") else v
    for e in entries:
        for k in ("file", "find", "replace", "tests", "fault"):
            if k not in e: sys.exit(f"tests/mutants.txt: {e['name']}: no '{k}'")
    return entries

entries = parse(os.path.join(root, "tests/mutants.txt"))
names = [e["name"] for e in entries]
if len(set(names)) != len(names): sys.exit("tests/mutants.txt: duplicate names")
if only: entries = [e for e in entries if re.search(only, e["name"])]
if list_only:
    for e in entries: print(f"{e['name']:32} {e['preset']:8} {e['file']}: {e['fault']}")
    sys.exit(0)

def run(cmd, cwd, log=None, **kw):
    out = open(log, "a") if log else subprocess.DEVNULL
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT, **kw).returncode
    finally:
        if log: out.close()

scratch = os.environ.get("TSR_MUTANTS_DIR", os.path.join(root, "build", "mutants-worktree"))
logdir = os.path.join(os.path.dirname(scratch), "mutants-logs")
os.makedirs(logdir, exist_ok=True)
# The current tree, uncommitted tracked changes included, as a commit.
rev = subprocess.run(["git", "stash", "create"], cwd=root, capture_output=True, text=True).stdout.strip()
rev = rev or subprocess.run(["git", "rev-parse", "HEAD"], cwd=root, capture_output=True, text=True).stdout.strip()
if not os.path.isdir(os.path.join(scratch, ".git")) and not os.path.isfile(os.path.join(scratch, ".git")):
    subprocess.run(["git", "worktree", "add", "--detach", scratch, rev], cwd=root, check=True,
                   stdout=subprocess.DEVNULL)
else:
    subprocess.run(["git", "checkout", "--detach", "-f", rev], cwd=scratch, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

started = time.time()
launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
def build(preset, log):
    return run(["cmake", "--build", "--preset", preset, "-j", jobs], scratch, log) == 0

# Configure and build every preset needed, then run each preset's selected suites unmutated:
# a mutant only counts as killed against a baseline that passes.
presets = sorted({e["preset"] for e in entries})
for preset in presets:
    log = os.path.join(logdir, f"baseline-{preset}.log")
    open(log, "w").close()
    print(f"== baseline {preset}", flush=True)
    if run(["cmake", "--preset", preset] + launcher, scratch, log) != 0 or not build(preset, log):
        sys.exit(f"baseline build of {preset} failed: see {log}")
    # One run per distinct selection: CMake's regular expressions allow too few groups to join them.
    for tests in sorted({e["tests"] for e in entries if e["preset"] == preset}):
        if run(["ctest", "--preset", preset, "-j", jobs, "-R", tests, "--timeout", "600", "--no-tests=error"],
               scratch, log) != 0:
            sys.exit(f"baseline tests of {preset} fail for {tests}: see {log}")
print(f"== baseline ready after {time.time() - started:.0f} s", flush=True)

results = []
for e in entries:
    t0 = time.time()
    path = os.path.join(scratch, e["file"])
    log = os.path.join(logdir, re.sub(r"[^A-Za-z0-9_.-]", "_", e["name"]) + ".log")
    open(log, "w").close()
    text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
    if text.count(e["find"]) != 1:
        verdict = "not applicable"
    else:
        with open(path, "w", encoding="utf-8") as f: f.write(text.replace(e["find"], e["replace"]))
        try:
            if not build(e["preset"], log):
                verdict = "killed (build)"
            else:
                rc = run(["ctest", "--preset", e["preset"], "-j", jobs, "-R", e["tests"], "--timeout", "300",
                          "--no-tests=error"], scratch, log)
                verdict = "killed" if rc != 0 else "survived"
        finally:
            with open(path, "w", encoding="utf-8") as f: f.write(text)
    results.append((e, verdict))
    print(f"{verdict:15} {time.time() - t0:5.0f} s  {e['name']:32} {e['fault']}", flush=True)

# Leave the scratch builds matching the unmutated tree for the next run.
for preset in presets: build(preset, os.path.join(logdir, f"restore-{preset}.log"))
if clean:
    subprocess.run(["git", "worktree", "remove", "--force", scratch], cwd=root)

count = lambda v: sum(1 for _, r in results if r.startswith(v))
print(f"== {count('killed')} killed, {count('survived')} survived, {count('not applicable')} not applicable "
      f"of {len(results)} in {time.time() - started:.0f} s (logs: {logdir})")
sys.exit(0 if count("killed") == len(results) else 1)
PYTHON
