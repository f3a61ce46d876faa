"""Splits option strings from the inventory into words the way ansible splits the ssh and scp
arguments it is given (Python's shlex), so that they reach a program as an argument list and no
shell ever reads them."""

import shlex


def okt_shell_words(text):
    """The words of `text`; an empty list for None or ''. A list is taken as words already.
    Unbalanced quotes raise ValueError (the board's settings check reports them first)."""
    if text is None:
        return []
    if isinstance(text, (list, tuple)):
        return [str(word) for word in text]
    return [word.strip() for word in shlex.split(str(text)) if word.strip()]


class FilterModule(object):
    def filters(self):
        return {'okt_shell_words': okt_shell_words}
