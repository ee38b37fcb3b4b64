"""Exact lists and tuples of exact floats are read directly, everything else
through the sequence and number protocols: both ways give the same values,
and a subclass of list, tuple or float is still read through its own
methods, wherever it sits in a vector or a matrix."""

import fractions

import numpy as np
import pytest

import quorbel_torso_kinematics as qtk

NECK = qtk.QuorbelNeckKinematics()
ARM = qtk.QuorbelArmKinematics.default_left()
JOINTS = [0.3, -0.7, 1.1]
R_NECK = NECK.fk(JOINTS)
R_ARM = ARM.fk(0.3, -0.2)


class Doubling(list):
    """A list whose items read as twice what it stores."""

    def __getitem__(self, i):
        return 2.0 * list.__getitem__(self, i)


class DoublingTuple(tuple):
    def __getitem__(self, i):
        return 2.0 * tuple.__getitem__(self, i)


class Halving(float):
    """A float subclass: the float conversion reads its stored value."""

    def __float__(self):
        return float.__float__(self) / 2.0


def bits(value):
    if isinstance(value, (list, tuple)):
        return [bits(v) for v in value]
    return float(value).hex()


@pytest.mark.parametrize("kind", [int, Halving, np.float64, fractions.Fraction])
@pytest.mark.parametrize("position", [0, 1, 2])
def test_a_vector_item_of_another_type_gives_the_float_result(kind, position):
    whole = [2.0, 1.0, 3.0]  # a reachable direction too
    mixed = list(whole)
    mixed[position] = kind(int(whole[position]))
    assert bits(NECK.fk(mixed)) == bits(NECK.fk(whole))
    assert bits(ARM.ik_from_direction(mixed)) == bits(ARM.ik_from_direction(whole))


@pytest.mark.parametrize("sequence", [Doubling, DoublingTuple])
def test_a_vector_subclass_is_read_through_its_getitem(sequence):
    assert bits(NECK.fk(sequence([0.15, -0.35, 0.55]))) == bits(NECK.fk([0.3, -0.7, 1.1]))


@pytest.mark.parametrize("row", [0, 1, 2])
@pytest.mark.parametrize("sequence", [Doubling, DoublingTuple])
def test_a_matrix_row_subclass_is_read_through_its_getitem(row, sequence):
    halved = [list(r) for r in R_ARM]
    halved[row] = sequence([v / 2.0 for v in R_ARM[row]])
    assert bits(ARM.ik(halved)) == bits(ARM.ik(R_ARM))
    halved_neck = [list(r) for r in R_NECK]
    halved_neck[row] = sequence([v / 2.0 for v in R_NECK[row]])
    assert bits(NECK.ik(halved_neck)) == bits(NECK.ik(R_NECK))


def test_a_matrix_subclass_is_read_through_its_getitem():
    class RowsShifted(list):
        """Item i is the stored row i + 1 (mod 3)."""

        def __getitem__(self, i):
            return list.__getitem__(self, (i + 1) % 3)

    shifted = RowsShifted([R_NECK[2], R_NECK[0], R_NECK[1]])
    assert bits(NECK.ik(shifted)) == bits(NECK.ik(R_NECK))


@pytest.mark.parametrize("outer", [list, tuple])
@pytest.mark.parametrize("inner", [list, tuple])
def test_lists_and_tuples_give_the_same_matrix(outer, inner):
    r = outer(inner(row) for row in R_ARM)
    assert bits(ARM.ik(r)) == bits(ARM.ik(R_ARM))
    assert ARM.is_reachable_orientation(r)


def test_a_float_subclass_item_in_a_matrix_keeps_its_stored_value():
    r = [list(row) for row in R_NECK]
    r[2][0] = Halving(r[2][0])  # PyFloat_AsDouble reads a float subclass's value directly
    assert bits(NECK.ik(r)) == bits(NECK.ik(R_NECK))
