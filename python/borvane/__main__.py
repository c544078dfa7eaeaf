"""The main job: ``python -m borvane``.

Generates the equivalent-circuit classes of a gate set on a number of qubits
up to a circuit size, checks them on a fresh random state, writes them as
Quartz JSON and as a binary dump, and prints a short summary.
"""

import argparse
import os
import sys
import time

from . import ECCs, Evaluator, Gate, RawECCs


def _parse_args(argv):
    p = argparse.ArgumentParser(prog="python -m borvane", description=__doc__.split("\n\n")[0])
    p.add_argument("--gates", default="h,x,s,t,cx", help="comma-separated gate names (default: %(default)s)")
    p.add_argument("--qubits", type=int, default=3, help="number of qubits (default: %(default)s)")
    p.add_argument("--size", type=int, default=3, help="largest number of instructions (default: %(default)s)")
    p.add_argument("--out", default="eccs", help="output path stem: STEM.json and STEM.postcard (default: %(default)s)")
    p.add_argument("--quiet", action="store_true", help="suppress the search's progress lines")
    return p.parse_args(argv)


def main(argv=None) -> int:
    args = _parse_args(argv)
    gates = []
    for name in args.gates.split(","):
        gate = Gate.from_name(name.strip())
        if gate is None:
            print(f"unknown gate {name.strip()!r}", file=sys.stderr)
            return 2
        gates.append(gate)

    evaluator = Evaluator(args.qubits)
    start = time.perf_counter()
    if args.quiet:
        devnull = open(os.devnull, "w")
        saved, sys.stdout = sys.stdout, devnull
    try:
        raw, (extended, evaluated, placements) = RawECCs.generate(evaluator, gates, args.size)
    finally:
        if args.quiet:
            sys.stdout = saved
            devnull.close()
    searched = time.perf_counter() - start
    eccs = raw.simplify()
    failing = eccs.check()

    json_path, dump_path = f"{args.out}.json", f"{args.out}.postcard"
    eccs.dump_quartz(json_path)
    eccs.dump_postcard(dump_path)
    reloaded = ECCs.from_postcard(dump_path)

    nontrivial = eccs.filter_single()
    identities = nontrivial.to_identity_circuits()
    print(f"gates {', '.join(str(g) for g in gates)} on {args.qubits} qubits, up to {args.size} instructions")
    print(f"  search: {evaluated} circuits evaluated, {extended} extended, {placements} placements in {searched:.2f} s")
    print(f"  {len(eccs)} classes, {len(nontrivial)} with two or more circuits, {len(identities)} identities")
    print(f"  random-state check: {'all classes consistent' if not failing else f'{len(failing)} classes FAIL'}")
    print(f"  wrote {json_path} and {dump_path} (reloads {'equal' if reloaded == eccs else 'DIFFERENT'})")
    return 0 if not failing and reloaded == eccs else 1


if __name__ == "__main__":
    sys.exit(main())
