#!/usr/bin/env python3
"""Develop many photographs on a Dask cluster, one task per file.

The same job as `vornalix batch`: the same look (developed as shot, that is
temperature 6500 and tint 0, unless --auto or a settings file say otherwise),
the same output names and the same failure summary. Dask places the work;
without --scheduler a local cluster is started on this machine.

    python3 cluster_batch.py photos/*.CR2 -o developed/ --settings look.json
    python3 cluster_batch.py photos/*.CR2 -o developed/ --scheduler tcp://host:8786

On a real cluster every worker needs the vornalix package and library
installed, and the input and output paths must be the same shared folders on
every machine.
"""

import argparse
import logging
import os
import sys
import time

EXTENSIONS = {"jpg": "jpg", "tif": "tif", "png": "png"}


def plan_outputs(inputs, outdir, ext):
    """Output paths as `vornalix batch` names them: STEM.EXT, NAME.EXT for shared stems, -2... for clashes."""
    def canonical(path):
        return os.path.realpath(os.path.abspath(path))

    input_paths = {canonical(p) for p in inputs}
    stems = {}
    for p in inputs:
        stem = os.path.splitext(os.path.basename(p))[0].lower()
        stems[stem] = stems.get(stem, 0) + 1

    def is_input(name):
        return canonical(os.path.join(outdir, name)) in input_paths

    taken, outputs = set(), []
    for p in inputs:
        filename = os.path.basename(p)
        base = os.path.splitext(filename)[0]
        if stems[base.lower()] > 1 or is_input(f"{base}.{ext}"):
            base = filename
        name, n = f"{base}.{ext}", 2
        while name.lower() in taken or is_input(name):
            name, n = f"{base}-{n}.{ext}", n + 1
        taken.add(name.lower())
        outputs.append(os.path.join(outdir, name))
    return outputs


def develop(source, target, look):
    """Runs on a worker: develops one file. Returns an error text, or None."""
    import json

    import vornalix

    try:
        with vornalix.open(source, scale=look["scale"]) as photo:
            base = dict(vornalix.FRONT_END_DEFAULTS)
            if look["auto"]:
                base.update(photo.auto_enhance())
            if look["settings"] is not None:
                photo.apply(look["settings"])
                named = set(json.loads(look["settings"]))
                base = {k: v for k, v in base.items() if k not in named}  # the document wins
            photo.set(**base)
            photo.export(target, quality=look["quality"])
        return None
    except vornalix.VornalixError as e:
        return e.message
    except Exception as e:  # a worker must report, not die
        return f"{type(e).__name__}: {e}"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("inputs", nargs="+", metavar="INPUT")
    parser.add_argument("-o", "--output", required=True, metavar="OUTDIR")
    parser.add_argument("--settings", metavar="FILE", help="a settings document (vornalix settings IN > FILE)")
    parser.add_argument("--auto", action="store_true", help="apply the automatic suggestions")
    parser.add_argument("--format", choices=sorted(EXTENSIONS), default="jpg")
    parser.add_argument("--scale", type=int, default=1, choices=range(1, 5), help="RAW decoding size")
    parser.add_argument("--quality", type=int, default=92, help="JPEG quality, 1..100")
    parser.add_argument("--scheduler", metavar="ADDRESS", help="e.g. tcp://host:8786 (default: a local cluster)")
    parser.add_argument("--workers", type=int, default=None, help="local cluster size (default: processors)")
    args = parser.parse_args(argv)

    settings = None
    if args.settings:
        import vornalix

        with open(args.settings, encoding="utf-8") as f:
            settings = f.read()
        try:  # a faulty document stops the job before any task starts
            with vornalix.Photo() as scratch:
                scratch.apply(settings)
        except vornalix.VornalixError as e:
            print(f"cluster_batch: {args.settings}: {e.message}", file=sys.stderr)
            return 2

    # The same file named twice is developed once.
    inputs = list({os.path.realpath(p): p for p in reversed(args.inputs)}.values())[::-1]
    os.makedirs(args.output, exist_ok=True)
    outputs = plan_outputs(inputs, args.output, EXTENSIONS[args.format])
    look = {"scale": args.scale, "auto": args.auto, "settings": settings, "quality": args.quality}

    from dask.distributed import Client, LocalCluster, as_completed

    if args.scheduler:
        client, cluster = Client(args.scheduler), None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None, silence_logs=logging.ERROR)
        client = Client(cluster)
    try:
        workers = len(client.scheduler_info()["workers"])
        start = time.monotonic()
        futures = {client.submit(develop, src, dst, look, pure=False): (src, dst) for src, dst in zip(inputs, outputs)}
        failures = {}
        for done, future in enumerate(as_completed(futures), 1):
            source, target = futures[future]
            error = future.result()
            if error is None:
                print(f"[{done}/{len(futures)}] {source} -> {target}", flush=True)
            else:
                failures[source] = error
                print(f"[{done}/{len(futures)}] FAILED {source}: {error}", flush=True)
        seconds = time.monotonic() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    total = len(inputs)
    print(f"developed {total - len(failures)} of {total} files into {args.output} in {seconds:.1f} s "
          f"({total / seconds if seconds > 0 else 0:.2f} files/s, {workers} worker{'s' if workers != 1 else ''})")
    if failures:
        print(f"failed ({len(failures)}):")
        for source in inputs:  # in the order given, like vornalix batch
            if source in failures:
                print(f"  {source}: {failures[source]}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
