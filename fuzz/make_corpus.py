#!/usr/bin/env python3
"""Seed corpora for the fuzzers, taken from real runs.

Runs klarna-sim in verbose mode over the end-to-end scenarios (the linux32
build by default) and keeps, per fuzzer, a few dozen distinct small inputs:

  xml           every XML message of the transcripts, both directions
  on_receive    the messages the host delivered to the module
  gateway_json  the gateway JSON texts, requests and replies
  tag_list      PurchaseAnalysisData texts and gateway `pad` texts, plus the
                documented examples of both text forms

The transaction fuzzer reads its input as a stream of choices, which no
transcript holds: with --transaction-seconds N its seeds are what N seconds
of fuzzing found (starting from the seeds already there), merged down to a
small set.

usage: fuzz/make_corpus.py [--sim PATH] [--module PATH] [--fuzz-build DIR]
                           [--transaction-seconds N] [--per-fuzzer N]
"""

import argparse
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HEADER = re.compile(r"^\[\s*[0-9.]+s\] (\S+(?: \S+)?)\s+(.*)$")

TAG_LIST_EXAMPLES = [
    "SKU003ABCRFN005X1234",
    "020SKU003ABCRFN005X1234",
    "099SKU003ABC",
    "009SKU003ABCQQQ",
    "SKU 05ABCDE",
    "PCM000",
    "SKU003ABCQQ",
    'RFN039{"merchant":"70","orderid":"ORD000002"}',
    "PCM0011OPR00917|OPNAMEUID0041234VND002V1NME003POSVER0031.0AMT0041250SKU003ABC",
]


def run_transcripts(sim, module):
    """Yields (direction, xml text) for every XML block of every scenario."""
    scenarios = sorted(glob.glob(os.path.join(ROOT, "tests", "scenarios", "*.scenario")))
    for scenario in scenarios:
        result = subprocess.run([sim, "-v", "-m", module, scenario], cwd=ROOT,
                                capture_output=True, text=True, errors="replace", timeout=600)
        yield from transcript_blocks(result.stdout)


def transcript_blocks(text):
    direction, lines, gateway = None, [], []
    for line in text.splitlines():
        header = HEADER.match(line)
        if header:
            yield from split_documents(direction, lines)
            direction, lines = header.group(1), []
            if direction in ("to gateway", "from gateway"):
                found = header.group(2).find("{")
                if found >= 0:
                    yield ("json", header.group(2)[found:])
        elif line.startswith("             "):
            lines.append(line[13:])
    yield from split_documents(direction, lines)


def split_documents(direction, lines):
    if direction is None or not lines:
        return
    documents = ("\n".join(lines) + "\n").split('<?xml version="1.0" ?>')
    documents = ['<?xml version="1.0" ?>' + d for d in documents if d.strip()]
    for index, document in enumerate(documents):
        if direction == "host->module" or (direction == "module->host" and index > 0):
            yield ("host", document)
        else:
            yield ("module", document)


def first_event_name(document):
    try:
        root = ElementTree.fromstring(document.split("?>", 1)[1])
    except ElementTree.ParseError:
        return "?"
    for container in root:
        if container.tag in ("VORTAXIS_EVENT", "VORTAXIS_METHOD") and len(container):
            return container[0].tag
    return root.tag


def tag_lists_in(document):
    try:
        root = ElementTree.fromstring(document.split("?>", 1)[1])
    except ElementTree.ParseError:
        return []
    return [e.text for e in root.iter("PurchaseAnalysisData") if e.text]


def pick(items, limit):
    """Distinct items, spread over their kinds, small ones first."""
    seen, by_kind = set(), {}
    for kind, item in items:
        if item in seen:
            continue
        seen.add(item)
        by_kind.setdefault(kind, []).append(item)
    for kind in by_kind:
        by_kind[kind].sort(key=len)
    chosen = []
    while len(chosen) < limit and any(by_kind.values()):
        for kind in sorted(by_kind):
            if by_kind[kind] and len(chosen) < limit:
                chosen.append(by_kind[kind].pop(0))
    return chosen


def write_corpus(name, items):
    folder = os.path.join(ROOT, "fuzz", "corpus", name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for item in items:
        data = item.encode("utf-8", "surrogateescape")
        digest = hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(folder, digest), "wb") as out:
            out.write(data)
    print(f"{name}: {len(items)} files")


def transaction_seeds(fuzz_build, seconds, limit):
    program = os.path.join(fuzz_build, "fuzz", "transaction_fuzzer")
    folder = os.path.join(ROOT, "fuzz", "corpus", "transaction")
    with tempfile.TemporaryDirectory() as work:
        found = os.path.join(work, "found")
        merged = os.path.join(work, "merged")
        os.makedirs(found)
        os.makedirs(merged)
        if os.path.isdir(folder):
            for name in os.listdir(folder):
                shutil.copy(os.path.join(folder, name), found)
        subprocess.run([program, f"-max_total_time={seconds}", "-max_len=512", found],
                       check=True, capture_output=True)
        subprocess.run([program, "-merge=1", merged, found], check=True, capture_output=True)
        # The longest runs of choices reach furthest; keep those.
        names = sorted(os.listdir(merged), key=lambda n: -os.path.getsize(os.path.join(merged, n)))
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        for name in names[:limit]:
            shutil.copy(os.path.join(merged, name), folder)
    print(f"transaction: {len(os.listdir(folder))} files")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sim", default=os.path.join(ROOT, "build/linux32/sim/klarna-sim"))
    parser.add_argument("--module", default=os.path.join(ROOT, "build/linux32/klarna.so"))
    parser.add_argument("--fuzz-build", default=os.path.join(ROOT, "build/fuzz"))
    parser.add_argument("--transaction-seconds", type=int, default=0)
    parser.add_argument("--per-fuzzer", type=int, default=40)
    args = parser.parse_args()

    xml_items, host_items, json_items, tag_items = [], [], [], []
    for kind, text in run_transcripts(args.sim, args.module):
        if kind == "json":
            json_items.append((text[:12], text))
            try:
                pad = json.loads(text).get("pad")
            except (ValueError, AttributeError):
                pad = None
            if isinstance(pad, str) and pad:
                tag_items.append(("pad", pad))
            continue
        name = first_event_name(text)
        xml_items.append((name, text))
        if kind == "host":
            host_items.append((name, text))
        tag_items.extend(("pos", t) for t in tag_lists_in(text))
    tag_items.extend(("example", t) for t in TAG_LIST_EXAMPLES)
    if not xml_items:
        sys.exit("make_corpus: no transcript read; is the linux32 build there?")

    write_corpus("xml", pick(xml_items, args.per_fuzzer))
    write_corpus("on_receive", pick(host_items, args.per_fuzzer))
    write_corpus("gateway_json", pick(json_items, args.per_fuzzer))
    write_corpus("tag_list", pick(tag_items, args.per_fuzzer))
    if args.transaction_seconds > 0:
        transaction_seeds(args.fuzz_build, args.transaction_seconds, args.per_fuzzer)


if __name__ == "__main__":
    main()
