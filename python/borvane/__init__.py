"""borvane: enumerate small quantum circuits, group them into equivalent-circuit
classes, and work with canonical identity circuits.

The classes are implemented natively in the extension module ``borvane.borvane``
and re-exported here.
"""

from ._failure import InternalFailure
from .borvane import (
    ECC,
    ECCs,
    Argument,
    Circ,
    Evaluator,
    Gate,
    IdentityCirc,
    Instr,
    Instruction,
    RawECCs,
    StateVec,
)

__all__ = [
    "ECC",
    "ECCs",
    "Argument",
    "Circ",
    "Evaluator",
    "Gate",
    "IdentityCirc",
    "Instr",
    "Instruction",
    "InternalFailure",
    "RawECCs",
    "StateVec",
]
