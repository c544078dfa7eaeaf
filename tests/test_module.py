"""Module entry and the conventions every class follows."""
import importlib
import inspect
import sys
import weakref

import pytest

import borvane
from borvane import InternalFailure

# Every class registered so far, in registration order.
REGISTERED = ["Argument", "Instruction", "Gate", "Instr", "StateVec", "ECC", "ECCs", "RawECCs", "Evaluator",
              "Circ", "IdentityCirc"]
# Classes created only by other methods have no constructor.
NO_CONSTRUCTOR = {"ECC", "ECCs"}


def test_module_object_and_namespace():
    ext = sys.modules["borvane.borvane"]
    assert ext.__name__ in ("borvane", "borvane.borvane")  # qualified by the package on import
    first, _, rest = ext.__doc__.partition("\n\n")
    assert first == "Python extension module entrypoint."
    assert "__init__" in rest
    public = [n for n in vars(ext) if not n.startswith("__")]
    assert public == REGISTERED
    for name in REGISTERED:
        assert getattr(borvane, name) is getattr(ext, name)


def test_repeated_import_returns_same_module():
    ext = sys.modules["borvane.borvane"]
    del sys.modules["borvane.borvane"]
    try:
        again = importlib.import_module("borvane.borvane")
        assert again is ext
        assert again.Gate is ext.Gate
    finally:
        sys.modules["borvane.borvane"] = ext


def test_sub_interpreter_refused():
    interpreters = pytest.importorskip("_xxsubinterpreters")
    interp = interpreters.create()
    try:
        with pytest.raises(Exception, match="does not support sub-interpreters"):
            interpreters.run_string(interp, "import borvane.borvane")
    finally:
        interpreters.destroy(interp)


@pytest.mark.parametrize("name", REGISTERED)
def test_class_conventions(name):
    cls = getattr(borvane, name)
    assert cls.__module__ == "builtins"
    assert cls.__bases__ == (object,)
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    assert "__dict__" not in dir(cls)
    assert "__weakref__" not in dir(cls)
    # The class docstring carries the constructor's signature; the rest is
    # the description.
    assert cls.__doc__ and "\n--\n" not in cls.__doc__
    if name in NO_CONSTRUCTOR:
        with pytest.raises(TypeError):
            cls()
    else:
        assert cls.__text_signature__.startswith("(")
        inspect.signature(cls)
    for attr, member in vars(cls).items():
        if attr.startswith("__"):
            continue
        assert member.__doc__, attr
        if callable(member):
            inspect.signature(getattr(cls, attr))


def test_instances_have_no_dict_or_weakref():
    g = borvane.Gate.from_name("h")
    with pytest.raises(AttributeError):
        g.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(g)


def test_internal_failure_escapes_except_exception():
    assert InternalFailure.__bases__ == (BaseException,)
    caught_by_exception = False
    try:
        try:
            borvane.Gate("bad", [], [[1j, 0j, 0j]])
        except Exception:
            caught_by_exception = True
    except BaseException as e:  # noqa: B036 - the point of the test
        assert type(e) is InternalFailure
        assert e.args == ("Matrix must be squared",)
    assert not caught_by_exception


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: borvane.Gate.from_name(), "Gate.from_name() missing 1 required positional argument: 'name'"),
        (lambda: borvane.Gate.from_name("h", "x"), "Gate.from_name() takes 1 positional argument but 2 were given"),
        (lambda: borvane.Gate.from_name(nam="h"), "Gate.from_name() got an unexpected keyword argument 'nam'"),
        (lambda: borvane.Gate("g", [], name="g"), "Gate.__new__() got multiple values for argument 'name'"),
        (lambda: borvane.Gate("g"), "Gate.__new__() missing 2 required positional arguments: 'params' and 'matrix'"),
        (lambda: borvane.Gate.from_name("h").adjoint(1), "Gate.adjoint() takes 0 positional arguments but 1 was given"),
        (lambda: borvane.Gate.from_name(1), "argument 'name': "),
        (lambda: borvane.Gate("g", "ab", [[1j]]), "argument 'params': "),
        (lambda: borvane.Gate("g", [1], [[1j]]), "argument 'params': "),
        (lambda: borvane.Gate("g", [], [[1.0]]), "argument 'matrix': "),
        (lambda: borvane.Gate("g", [], [1j, 1j]), "argument 'matrix': "),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value).startswith(message)


def test_keyword_arguments():
    g = borvane.Gate(name="kw", params=("a",), matrix=[[1j, 0j], [0j, -1j]])
    assert (g.name, g.params) == ("kw", ["a"])
    assert borvane.Gate.from_name(name="h") == borvane.Gate.from_name("h")


def test_comparisons_follow_not_implemented_rules():
    h = borvane.Gate.from_name("h")
    assert (h == "h") is False
    assert h != 1
    with pytest.raises(TypeError):
        h < h  # noqa: B015
