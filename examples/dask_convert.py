#!/usr/bin/python3
"""Converts many files between VELMOR and Shift-JIS on a Dask cluster.

    dask_convert.py --to-sjis|--to-velmor [--scheduler ADDRESS] -o OUTDIR INPUT...

One task a file: each worker converts its file with velmor_kanji.convert_file,
which is velmor-convert's own conversion (streamed, saved safely), and writes
the output into OUTDIR under the input's name, so the outputs are byte for byte
velmor-convert's. A folder given as INPUT stands for the files in it. Without
--scheduler the files run on a LocalCluster of worker processes on this machine;
with it, on the cluster of that scheduler, whose workers must see INPUT and
OUTDIR at the same paths and have velmor_kanji installed. Prints what each file
lost (as velmor-convert --report counts it) and exits 1 when a file was refused
or failed, as velmor-convert does.
"""

from __future__ import annotations

import argparse
import collections
import logging
import os
import sys
import time
from typing import Dict, List, Optional, Tuple


def convert_one(input_path: str, output_path: str, direction: str, force: bool,
                gaiji_path: Optional[str]) -> Tuple[str, Dict[str, int], str]:
    """The task of one file, run on a worker: (input, losses by kind, error or "")."""
    import velmor_kanji

    try:
        gaiji = velmor_kanji.load_gaiji(gaiji_path) if gaiji_path else None
        entries = velmor_kanji.convert_file(input_path, output_path, direction, force=force,
                                            gaiji=gaiji)
    except velmor_kanji.VelmorError as error:
        return input_path, {}, str(error)
    return input_path, dict(collections.Counter(entry.kind for entry in entries)), ""


def input_files(inputs: List[str]) -> List[str]:
    files = []
    for path in inputs:
        if os.path.isdir(path):
            files += sorted(os.path.join(path, name) for name in os.listdir(path)
                            if os.path.isfile(os.path.join(path, name)))
        else:
            files.append(path)
    return files


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    way = parser.add_mutually_exclusive_group(required=True)
    way.add_argument("--to-sjis", action="store_const", const="to-sjis", dest="direction")
    way.add_argument("--to-velmor", action="store_const", const="to-velmor", dest="direction")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="an existing cluster's scheduler (default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="worker processes of the LocalCluster (default: cores)")
    parser.add_argument("--force", action="store_true",
                        help="convert Shift-JIS that already holds kanji-in sequences")
    parser.add_argument("--gaiji", metavar="FILE", help="the gaiji table to convert with")
    parser.add_argument("-o", "--output", metavar="OUTDIR", required=True,
                        help="the existing folder that receives each file by its name")
    parser.add_argument("inputs", metavar="INPUT", nargs="+")
    args = parser.parse_args(argv)

    files = input_files(args.inputs)
    if not os.path.isdir(args.output):
        parser.error(f"-o {args.output}: not an existing folder")
    outputs = [os.path.join(os.path.abspath(args.output), os.path.basename(f)) for f in files]
    if len(set(outputs)) != len(outputs):
        parser.error("two inputs would be written to the same output")
    gaiji = os.path.abspath(args.gaiji) if args.gaiji else None

    from dask.distributed import Client, LocalCluster, as_completed

    start = time.monotonic()
    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
    try:
        futures = [client.submit(convert_one, os.path.abspath(f), out, args.direction,
                                 args.force, gaiji, pure=False)
                   for f, out in zip(files, outputs)]
        results = {}
        for future in as_completed(futures):
            path, losses, error = future.result()
            results[path] = (losses, error)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    failed = 0
    for f in files:
        losses, error = results[os.path.abspath(f)]
        if error:
            failed += 1
            print(f"{f}: {error}", file=sys.stderr)
        elif losses:
            counts = ", ".join(f"{kind} {n}" for kind, n in sorted(losses.items()))
            print(f"{f}: {sum(losses.values())} losses ({counts})")
        else:
            print(f"{f}: no losses")
    print(f"{len(files) - failed} of {len(files)} files converted in "
          f"{time.monotonic() - start:.1f} s", file=sys.stderr)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
