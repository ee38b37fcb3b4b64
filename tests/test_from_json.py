"""QuorbelArmKinematics.from_json: the arms.json text to an arm."""

import math
import os
from pathlib import Path

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso_kinematics as qtk

Arm = qtk.QuorbelArmKinematics
from_json = Arm.from_json

# The JSON conformance corpus is kept with the tests (in the sdist too), with
# its licence; QTK_JSON_CONFORMANCE names another copy to run it from.
CONFORMANCE = Path(os.environ.get("QTK_JSON_CONFORMANCE")
                   or Path(__file__).resolve().parent / "data" / "json_conformance")

RIGHT_NEGATIVE_FORMS = [
    '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": true}',
    '[0.7, 0.5, "negative", true]',
    '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": {"negative": null}, "mirror": true}',
    '[0.7, 0.5, {"negative": null}, true]',
    '{"mirror": true, "branch": { "negative" : null }, "coupler_arc": 5e-1, "arm_arc": 7E-1}',
]
JOINT_PAIRS = [(0.0, 0.0), (0.3, -0.2), (-1.1, 0.8)]


def message_of(text):
    with pytest.raises(ValueError) as info:
        from_json(text)
    assert not isinstance(info.value, UnicodeError)
    return str(info.value)


def same_arm(a, b):
    return (
        a.arm_arc() == b.arm_arc()
        and a.coupler_arc() == b.coupler_arc()
        and a.mirror() == b.mirror()
        and all(a.fk(*q) == b.fk(*q) for q in JOINT_PAIRS)
    )


# ---------------------------------------------------------------- accepted


def test_defaults_give_the_default_left_arm():
    arm = from_json('{"arm_arc": 0.7, "coupler_arc": 0.5}')
    assert type(arm) is Arm
    assert same_arm(arm, Arm.default_left())


def test_negative_branch_takes_the_other_closure_point():
    positive = from_json('{"arm_arc":0.7,"coupler_arc":0.5,"branch":"positive"}')
    negative = from_json('{"arm_arc":0.7,"coupler_arc":0.5,"branch":"negative"}')
    p, n = positive.fk(0.0, 0.0), negative.fk(0.0, 0.0)
    assert p != n
    # At zero joint angles both tips lie in the XZ plane, so the two closure
    # points are mirror images across it: the pointing direction's y flips.
    assert p[1][2] != 0.0
    assert n[1][2] == pytest.approx(-p[1][2], abs=1e-12)
    assert (p[0][2], p[2][2]) == pytest.approx((n[0][2], n[2][2]), abs=1e-12)


@pytest.mark.parametrize("text", RIGHT_NEGATIVE_FORMS)
def test_both_shapes_and_both_branch_forms_agree(text):
    arm = from_json(text)
    reference = from_json(RIGHT_NEGATIVE_FORMS[0])
    assert same_arm(arm, reference)
    assert arm.mirror() is True
    assert arm.fk(0.0, 0.0) != Arm.default_right().fk(0.0, 0.0)


@pytest.mark.parametrize(
    "text, arm_arc, coupler_arc, mirror",
    [
        ("[1, 2]", 1.0, 2.0, False),
        ('[1, 2, "positive"]', 1.0, 2.0, False),
        ('{"arm\\u005farc": 1, "coupler_arc": 2}', 1.0, 2.0, False),
        ('{"arm_arc": 7e-1, "coupler_arc": -0, "mirror": false}', 0.7, -0.0, False),
        ('{"arm_arc": 1e-400, "coupler_arc": -1E-400}', 0.0, -0.0, False),
        ("[0, -2.5]", 0.0, -2.5, False),
        (' \t\r\n[1, 2, "positive", true] \n\t\r ', 1.0, 2.0, True),
        (
            '{"name": "left", "Arm_Arc": [], "arm_arc ": 3, "arm_arc": 1, "name": 1e999,'
            ' "extra": {"a": [1, {"b": [[], {}, "\\"", -0.5e+3]}], "c": null}, "coupler_arc": 2}',
            1.0,
            2.0,
            False,
        ),
        # A skipped string is only held to the grammar: any four hex digits
        # make a \u escape, paired into a character or not.
        ('{"x": ["\\ud800", {"\\udc00": "\\ud800\\u0041"}], "arm_arc": 1, "coupler_arc": 2}', 1.0, 2.0, False),
    ],
)
def test_accepted_documents(text, arm_arc, coupler_arc, mirror):
    arm = from_json(text)
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (arm_arc, coupler_arc, mirror)
    assert math.copysign(1.0, arm.coupler_arc()) == math.copysign(1.0, coupler_arc)


def test_keyword_and_instance_calls():
    text = "[1, 2]"
    assert same_arm(Arm.from_json(json=text), from_json(text))
    assert same_arm(Arm.default_left().from_json(text), from_json(text))

    class Text(str):
        pass

    assert same_arm(from_json(Text(text)), from_json(text))


# Any decimal JSON number reads as the nearest double (Python's float() is
# correctly rounded, so it is the reference).
json_numbers = st.builds(
    lambda sign, whole, fraction, exponent: sign + whole + fraction + exponent,
    st.sampled_from(["", "-"]),
    st.one_of(st.just("0"), st.from_regex(r"[1-9][0-9]{0,25}", fullmatch=True)),
    st.one_of(st.just(""), st.from_regex(r"\.[0-9]{1,25}", fullmatch=True)),
    st.one_of(st.just(""), st.from_regex(r"[eE][+-]?[0-9]{1,3}", fullmatch=True)),
)


@settings(max_examples=300, deadline=None)
@given(json_numbers)
def test_numbers_read_as_the_nearest_double(number):
    expected = float(number)
    if math.isinf(expected):
        assert message_of(f"[{number}, 1]").startswith("Invalid arms.json: number out of range")
        return
    arm = from_json(f"[{number}, 1]")
    assert arm.arm_arc() == expected
    assert math.copysign(1.0, arm.arm_arc()) == math.copysign(1.0, expected)


@settings(max_examples=200, deadline=None)
@given(st.floats(allow_nan=False, allow_infinity=False), st.floats(allow_nan=False, allow_infinity=False))
def test_written_floats_read_back(a, c):
    arm = from_json(f'{{"coupler_arc": {c!r}, "arm_arc": {a!r}}}')
    assert (arm.arm_arc(), arm.coupler_arc()) == (a, c)


json_values = st.recursive(
    st.none() | st.booleans() | st.integers() | st.floats(allow_nan=False, allow_infinity=False)
    | st.text(),
    lambda children: st.lists(children) | st.dictionaries(st.text(), children),
    max_leaves=25,
)


@settings(max_examples=200, deadline=None)
@given(json_values)
def test_any_json_value_under_another_key_is_ignored(value):
    import json

    text = '{"arm_arc": 1, "other": ' + json.dumps(value) + ', "coupler_arc": 2}'
    arm = from_json(text)
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == (1.0, 2.0, False)


# ---------------------------------------------------------------- refused

UNKNOWN = ", expected `positive` or `negative`"
LENGTH = ", expected struct SphericalLinkGeometry with 4 elements"


@pytest.mark.parametrize(
    "text, message",
    [
        ('{"coupler_arc": 0.5}', "missing field `arm_arc` at line 1 column 20"),
        ("{}", "missing field `arm_arc` at line 1 column 2"),
        ('{"arm_arc": 0.5}', "missing field `coupler_arc` at line 1 column 16"),
        ('{"arm_arc": 1, "arm_arc": 2, "coupler_arc": 1}', "duplicate field `arm_arc` at line 1 column 24"),
        ('{"mirror": true, "mirror": }', "duplicate field `mirror` at line 1 column 25"),
        (
            '{"arm_arc": 1, "coupler_arc": 1, "branch": "Positive"}',
            "unknown variant `Positive`" + UNKNOWN + " at line 1 column 53",
        ),
        ('[1, 2, {"Negative": null}]', "unknown variant `Negative`" + UNKNOWN + " at line 1 column 18"),
        ("[1, 2, 3]", "expected value at line 1 column 8"),
        ('[1, 2, {"negative": 0}]', "invalid type: integer `0`, expected unit at line 1 column 21"),
        ("[1, 2, {0: null}]", "invalid type: integer `0`, expected variant identifier at line 1 column 9"),
        # The unknown word is shown unescaped.
        ('[1, 2, "x\\ny"]', "unknown variant `x\ny`" + UNKNOWN + " at line 1 column 13"),
        (
            '{"arm_arc": 1, "coupler_arc": 1, "mirror": 1}',
            "invalid type: integer `1`, expected a boolean at line 1 column 44",
        ),
        ('{"arm_arc": null, "coupler_arc": 1}', "invalid type: null, expected f64 at line 1 column 16"),
        ("[0.7]", "invalid length 1" + LENGTH + " at line 1 column 5"),
        ("[]", "invalid length 0" + LENGTH + " at line 1 column 2"),
        ('[0.7, 0.5, "positive", false, 0]', "trailing characters at line 1 column 31"),
        ("[0.7, 0.5,]", "trailing comma at line 1 column 11"),
        ('{"arm_arc": 1, "coupler_arc": 1,}', "trailing comma at line 1 column 33"),
        ("", "EOF while parsing a value at line 1 column 0"),
        ("null", "invalid type: null, expected struct SphericalLinkGeometry at line 1 column 4"),
        ("5", "invalid type: integer `5`, expected struct SphericalLinkGeometry at line 1 column 1"),
        # a float is written in plain decimal and never reads as an integer
        ('[1, 2, "positive", 2.0]', "invalid type: floating point `2.0`, expected a boolean at line 1 column 22"),
        ('[1, 2, "positive", -1e-3]', "invalid type: floating point `-0.001`, expected a boolean at line 1 column 24"),
        ('{"arm_arc": 1, "coupler_arc": 1} x', "trailing characters at line 1 column 34"),
        ("\ufeff{}", "expected value at line 1 column 1"),
        ("[1e400, 1]", "number out of range at line 1 column 6"),
        ("[NaN, 1]", "expected value at line 1 column 2"),
        ("[Infinity, 1]", "expected value at line 1 column 2"),
        # Ignored values are still read, so their syntax errors are reported.
        ('{"name": "left", "x": [1, {"y": [2,]}], "arm_arc": 1}', "trailing comma at line 1 column 36"),
        ('{"name": {"a" 1}, "arm_arc": 1}', "expected `:` at line 1 column 15"),
        # Lines follow line feeds; columns count bytes.
        ('{\n  "arm_arc": true,\n  "coupler_arc": 1\n}', "invalid type: boolean `true`, expected f64 at line 2 column 17"),
        ('{"é": 1,\n\n "ü": 2}', "missing field `arm_arc` at line 3 column 9"),
    ],
)
def test_refused_documents(text, message):
    assert message_of(text) == "Invalid arms.json: " + message


def test_argument_errors_are_not_json_errors():
    with pytest.raises(TypeError, match=r"^argument 'json': 'bytes' object cannot be converted to 'PyString'$"):
        from_json(b"{}")
    with pytest.raises(TypeError):
        from_json()
    with pytest.raises(UnicodeEncodeError):
        from_json('{"name": "\udc80", "arm_arc": 1, "coupler_arc": 2}')


# ---------------------------------------------------------------- depth

DEPTH = 1_000_000


@pytest.mark.parametrize(
    "nested",
    [
        "[" * DEPTH + "]" * DEPTH,
        '{"a":' * DEPTH + "null" + "}" * DEPTH,
        '[{"k": ' * (DEPTH // 2) + "[]" + "}]" * (DEPTH // 2),
    ],
    ids=["arrays", "objects", "mixed"],
)
def test_deeply_nested_ignored_member_is_read(nested):
    arm = from_json('{"deep": ' + nested + ', "arm_arc": 1, "coupler_arc": 2}')
    assert (arm.arm_arc(), arm.coupler_arc()) == (1.0, 2.0)


def test_deeply_nested_ignored_member_is_refused_cleanly():
    text = '{"deep": ' + "[" * DEPTH + "}"
    assert message_of(text) == f"Invalid arms.json: expected value at line 1 column {DEPTH + 10}"
    text = '{"deep": ' + "[" * DEPTH
    assert message_of(text) == f"Invalid arms.json: EOF while parsing a list at line 1 column {DEPTH + 9}"


# ---------------------------------------------------------------- conformance


def conformance_files(prefix):
    return sorted(CONFORMANCE.glob(prefix + "*.json"), key=lambda p: p.name)


def test_conformance_corpus_is_there():
    """An empty parameter list would skip the tests below instead of failing."""
    assert CONFORMANCE.is_dir(), f"no JSON conformance corpus at {CONFORMANCE}: set QTK_JSON_CONFORMANCE"
    counts = {prefix: len(conformance_files(prefix)) for prefix in ("y_", "n_", "i_")}
    assert counts == {"y_": 95, "n_": 188, "i_": 35}


def read_conformance(path):
    text = path.read_bytes().decode("utf-8", errors="surrogateescape")
    has_lone_surrogate = any(0xD800 <= ord(ch) <= 0xDFFF for ch in text)
    return text, has_lone_surrogate


SYNTAX_DESCRIPTIONS = (
    "EOF while parsing",
    "expected `:`",
    "expected `,` or `}`",
    "expected `,` or `]`",
    "expected value",
    "expected ident",
    "key must be a string",
    "trailing comma",
    "trailing characters",
    "invalid number",
    "number out of range",
    "invalid escape",
    "invalid unicode code point",
    "control character",
    "lone leading surrogate",
    "unexpected end of hex escape",
)
FORMAT_DESCRIPTIONS = ("invalid type: ", "invalid length ", "missing field `", "duplicate field `", "unknown variant `")


@pytest.mark.parametrize("path", conformance_files("n_"), ids=lambda p: p.name)
def test_conformance_invalid_json_is_refused(path):
    text, has_lone_surrogate = read_conformance(path)
    if has_lone_surrogate:
        with pytest.raises(UnicodeEncodeError):
            from_json(text)
    else:
        assert message_of(text).startswith("Invalid arms.json: ")


@pytest.mark.parametrize("path", conformance_files("y_"), ids=lambda p: p.name)
def test_conformance_valid_json_has_no_syntax_error(path):
    text, has_lone_surrogate = read_conformance(path)
    assert not has_lone_surrogate
    try:
        from_json(text)
    except ValueError as error:
        description = str(error).removeprefix("Invalid arms.json: ")
        assert description.startswith(FORMAT_DESCRIPTIONS), description
        assert not description.startswith(SYNTAX_DESCRIPTIONS), description


@pytest.mark.parametrize("path", conformance_files("i_"), ids=lambda p: p.name)
def test_conformance_implementation_defined_does_not_crash(path):
    text, has_lone_surrogate = read_conformance(path)
    try:
        from_json(text)
    except UnicodeEncodeError:
        assert has_lone_surrogate
    except ValueError as error:
        assert str(error).startswith("Invalid arms.json: ")
