"""Paired measurements taken in turn (ABBA): the order of a round is turned
round in the next, so that the machine's drift over a run falls on every
measurement of a pair alike."""


def in_turn(round_number, *measurements):
    """Runs the measurements in the order given in odd rounds and in the
    opposite order in even ones; returns their results in the order given."""
    order = list(range(len(measurements)))
    if not round_number % 2:
        order.reverse()
    results = [None] * len(measurements)
    for index in order:
        results[index] = measurements[index]()
    return results
