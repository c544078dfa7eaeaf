// The Python classes of the module, one specialisation per native record.
// Each `type()` is defined in the record's _py.cpp and creates the class on
// first use.
#pragma once

#include "circ/gate.h"
#include "circ/instr.h"
#include "circ/instruction.h"
#include "identity/circuit.h"
#include "identity/idcircuit.h"
#include "py/instance.h"
#include "search/ecc.h"
#include "search/evaluator.h"
#include "search/raw_eccs.h"
#include "state/state_vec.h"

namespace borvane::py {

#define BORVANE_PY_CLASS(Record, PyName)          \
    template <>                                    \
    struct PyClass<Record> {                       \
        static constexpr const char* name = PyName; \
        static PyTypeObject* type();               \
    }

BORVANE_PY_CLASS(Argument, "Argument");
BORVANE_PY_CLASS(Instruction, "Instruction");
BORVANE_PY_CLASS(Gate16, "Gate");
BORVANE_PY_CLASS(Instr32, "Instr");
BORVANE_PY_CLASS(StateVec, "StateVec");
BORVANE_PY_CLASS(ECC, "ECC");
BORVANE_PY_CLASS(ECCs, "ECCs");
BORVANE_PY_CLASS(RawECCs, "RawECCs");
BORVANE_PY_CLASS(Evaluator, "Evaluator");
BORVANE_PY_CLASS(Circ, "Circ");
BORVANE_PY_CLASS(IdentityCirc, "IdentityCirc");

#undef BORVANE_PY_CLASS

}  // namespace borvane::py
