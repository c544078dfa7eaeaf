"""borvane: enumerate small quantum circuits, group them into equivalent-circuit
classes, and work with canonical identity circuits.

The classes are implemented natively in the extension module ``borvane.borvane``
and re-exported here.
"""

from ._failure import InternalFailure
from .borvane import Argument, Circ, Evaluator, Gate, IdentityCirc, Instr, Instruction, StateVec

__all__ = [
    "Argument",
    "Circ",
    "Evaluator",
    "Gate",
    "IdentityCirc",
    "Instr",
    "Instruction",
    "InternalFailure",
    "StateVec",
]
