"""The exception raised when an internal check or a documented precondition fails."""


class InternalFailure(BaseException):
    """Raised when an internal consistency check or a documented precondition fails.

    It derives directly from ``BaseException``, so ``except Exception`` does not
    catch it: a violated precondition ends a script unless it is named
    explicitly.  Its only argument is the message.
    """

    __module__ = "borvane"
