"""Parameter expressions: grammar, evaluation and error reports."""
import math

import pytest

from borvane import _testing

evaluate = _testing.evaluate_with_pi


@pytest.mark.parametrize(
    "text, value",
    [
        ("pi/3", 1.0471975511965976),
        ("-pi/16", -0.19634954084936207),
        ("2*pi", 6.283185307179586),
        ("2^3^2", 64.0),  # powers group to the left
        ("-2^2", 4.0),  # unary minus binds tighter than ^
        ("2^-1", 0.5),
        ("8-2-1", 5.0),
        ("8/2/2", 2.0),
        ("1 + 2 * 3", 7.0),
        ("(1 + 2) * 3", 9.0),
        ("sqrt(16)", 4.0),
        ("sin (0)", 0.0),
        ("ln(1)", 0.0),
        ("exp(0)", 1.0),
        ("cos(pi)", -1.0),
        ("tan(0)", 0.0),
        ("0.5", 0.5),
        ("1.", 1.0),
        ("  pi", math.pi),
        ("\t\n pi \r", math.pi),
        ("--3", 3.0),
        # Trailing text that does not continue an exp is ignored.
        ("3 4", 3.0),
        ("2pi", 2.0),
        ("1e5", 1.0),
        ("pi/3)", math.pi / 3),
        ("012", 0.0),
        ("1+", 1.0),
        ("sin x", None),  # the identifier `sin`
        ("ln(0)", -math.inf),
        ("9" * 400, math.inf),
        ("0." + "0" * 400 + "1", 0.0),
        ("123456789012345678901234567890", 1.2345678901234568e29),
    ],
)
def test_values(text, value):
    if value is None:
        with pytest.raises(ValueError, match="^sin$"):
            evaluate(text)
    else:
        assert evaluate(text) == value


@pytest.mark.parametrize("text", ["sqrt(-1)", "(-8)^(1/3)"])
def test_domain_errors_are_nan(text):
    assert math.isnan(evaluate(text))


@pytest.mark.parametrize(
    "text, message",
    [
        ("1/0", "DivisionByZero"),
        ("1/(2-2)", "DivisionByZero"),
        ("0.0/0.0", "DivisionByZero"),
        ("1/-0", "DivisionByZero"),
        ("theta", "theta"),
        ("PI", "PI"),
        ("e", "e"),
        ("sinx", "sinx"),
        ("x_1 + 1/0", "x_1"),  # the first error of the walk wins
        ("1/0 + y", "DivisionByZero"),
    ],
)
def test_evaluation_errors(text, message):
    with pytest.raises(ValueError) as info:
        evaluate(text)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text, line, column",
    [("", 1, 1), ("+1", 1, 1), (")", 1, 1), ("*2", 1, 1), ("   *", 1, 4), ("\n\n  )", 3, 3)],
)
def test_parse_error_report(text, line, column):
    with pytest.raises(ValueError) as info:
        evaluate(text)
    report = str(info.value)
    lines = report.splitlines()
    assert lines[0].endswith(f"--> {line}:{column}")
    offending = text.split("\n")[line - 1]
    assert f"{line} | {offending}" in lines
    marker = next(s for s in lines if s.rstrip().endswith("^---"))
    assert marker.index("^") - marker.index("|") - 2 == column - 1
    assert "expected " in lines[-1]
    assert "power" in lines[-1]


def test_deep_nesting_is_a_parse_error_not_a_crash():
    for text in ["(" * 100_000, "-" * 100_000 + "1", "sin(" * 50_000, "(" * 300 + "1" + ")" * 300]:
        with pytest.raises(ValueError, match="nested too deeply"):
            evaluate(text)
    # Nesting well inside the limit still evaluates.
    assert evaluate("(" * 200 + "2" + ")" * 200) == 2.0
