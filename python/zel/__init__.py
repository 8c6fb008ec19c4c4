"""The ZEL gripper and the TAQ matrix sensor from Python.

    import zel
    with zel.Gripper.connect("tcp://127.0.0.1:1000") as g:
        g.home()
        g.grasp(20, 100)
        print(g.force(), g.grasping_state())

Links: tcp://HOST[:PORT], udp://HOST[:PORT][?listen=PORT], serial://PATH[?baud=N],
can://INTERFACE[?id=N&bitrate=CODE&backend=NAME]. Calls that wait release the interpreter lock.
A device is used from the thread that connected it; automatic updates and their callbacks arrive
while that thread is inside a call of the device (process_events() waits for them on purpose).
"""
import enum


class Error(Exception):
    """A failure of the device or its link: status is the device's status code (or None),
    status_name its name ("E_RANGE_ERROR"), command the command's name."""

    def __init__(self, message, status=None, status_name=None, command=None):
        super().__init__(message)
        self.status = status
        self.status_name = status_name
        self.command = command


class LinkLost(Error, ConnectionError):
    """The link closed, or was closed, before the command had its answer."""


class ConnectFailed(Error, ConnectionError):
    """The link could not be opened, or the device on it was not accepted."""


class CommandFailed(Error):
    """The device answered with a failure status (at once or as the final result)."""


class Timeout(Error, TimeoutError):
    """No answer, or no final result, within the time limit."""


class GraspingState(enum.IntEnum):
    """The gripper's grasping state, as grasping_state() and the updates give it."""

    IDLE = 0
    GRASPING = 1
    NO_PART = 2
    PART_LOST = 3
    HOLDING = 4
    RELEASING = 5
    POSITIONING = 6
    ERROR = 7


from ._zel import _system_state_flags  # noqa: E402  (the library names the flags' masks)

SystemState = enum.IntFlag("SystemState", _system_state_flags(), module=__name__)
SystemState.__doc__ = """System state flags; bits without a name stay in the value."""


from ._zel import (  # noqa: E402  (the classes above are looked up by the extension)
    Frame,
    Frames,
    Gripper,
    Info,
    Limits,
    Matrix,
    Motion,
    Response,
    Sensor,
    Update,
    Updates,
    __version__,
)

__all__ = [
    "Error", "LinkLost", "ConnectFailed", "CommandFailed", "Timeout", "GraspingState", "SystemState",
    "Gripper", "Sensor", "Motion", "Updates", "Update", "Info", "Limits", "Response", "Matrix", "Frame",
    "Frames", "__version__",
]
