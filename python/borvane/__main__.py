"""The main job: ``python -m borvane``.

Lists the built-in gates of the gate table with their matrices.
"""

import numpy as np

from . import Gate


def _format_entry(z: complex) -> str:
    re, im = z.real, z.imag
    if abs(im) < 5e-13:
        return f"{re:+.4f}"
    if abs(re) < 5e-13:
        return f"{im:+.4f}j"
    return f"{re:+.4f}{im:+.4f}j"


def _builtin_gates():
    # The built-in gates occupy the first 23 entries of the gate table; their
    # display names are fixed.
    names = ["i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "cx", "cz", "cy", "cs", "csdg",
             "swap", "t1/2", "tdg1/2", "rz(pi/3)", "rz(-pi/3)", "rz(pi/5)", "rz(-pi/5)",
             "rz(pi/16)", "rz(-pi/16)"]
    return [Gate.from_name(n) for n in names]


def main() -> None:
    for gate in _builtin_gates():
        m = gate.matrix
        params = ", ".join(f"{p:.6f}" for p in gate.params_f)
        header = f"{gate} ({gate.nqargs} qubit{'s' if gate.nqargs != 1 else ''}"
        header += f", params [{params}])" if params else ")"
        header += f"  adjoint: {gate.adjoint()}"
        print(header)
        for row in np.asarray(m):
            print("    [" + "  ".join(f"{_format_entry(z):>16}" for z in row) + "]")


if __name__ == "__main__":
    main()
