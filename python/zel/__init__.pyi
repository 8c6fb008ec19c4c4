import enum
from types import TracebackType
from typing import Callable, Iterator, Literal, Optional, Sequence

__version__: str

UpdateKind = Literal["system_state", "grasping_state", "position", "force"]

class Error(Exception):
    status: Optional[int]
    status_name: Optional[str]
    command: Optional[str]
    def __init__(
        self, message: str, status: Optional[int] = ..., status_name: Optional[str] = ..., command: Optional[str] = ...
    ) -> None: ...

class LinkLost(Error, ConnectionError): ...
class ConnectFailed(Error, ConnectionError): ...
class CommandFailed(Error): ...
class Timeout(Error, TimeoutError): ...

class GraspingState(enum.IntEnum):
    IDLE = 0
    GRASPING = 1
    NO_PART = 2
    PART_LOST = 3
    HOLDING = 4
    RELEASING = 5
    POSITIONING = 6
    ERROR = 7

class SystemState(enum.IntFlag):
    REFERENCED = 0x00000001
    MOVING = 0x00000002
    BLOCKED_MINUS = 0x00000004
    BLOCKED_PLUS = 0x00000008
    SOFT_LIMIT_MINUS = 0x00000010
    SOFT_LIMIT_PLUS = 0x00000020
    AXIS_STOPPED = 0x00000040
    TARGET_POS_REACHED = 0x00000080
    OVERDRIVE_MODE = 0x00000100
    FORCE_CONTROL_MODE = 0x00000200
    FAST_STOP = 0x00001000
    TEMPERATURE_WARNING = 0x00002000
    TEMPERATURE_FAULT = 0x00004000
    POWER_FAULT = 0x00008000
    CURRENT_FAULT = 0x00010000
    FINGER_FAULT = 0x00020000
    COMMAND_FAILURE = 0x00040000
    SCRIPT_RUNNING = 0x00080000
    SCRIPT_FAILURE = 0x00100000

class Info:
    model: str
    device_type: int
    serial_number: int
    hardware_revision: int
    firmware: str

class Limits:
    stroke: float
    """mm"""
    min_speed: float
    """mm/s"""
    max_speed: float
    min_acceleration: float
    """mm/s²"""
    max_acceleration: float
    min_force: float
    """N"""
    nominal_force: float
    overdrive_force: float

class Response:
    command: int
    status: int
    status_name: str
    data: bytes
    """The answer's data after its status; empty when it held the status only."""

class Motion:
    command: str
    done: bool
    status: Optional[int]
    """The final status; None while the motion runs."""
    def wait(self, timeout: Optional[float] = 60.0) -> None:
        """Waits for the final result; raises CommandFailed, LinkLost or Timeout."""

class Update:
    kind: UpdateKind
    value: float | GraspingState | SystemState
    time: float
    """When it arrived, in seconds on the clock of time.monotonic(): time.monotonic() - time is its age."""

class Updates:
    kinds: list[UpdateKind]
    closed: bool
    pending: int
    received: int
    dropped: int
    max_backlog: int
    def __iter__(self) -> Iterator[Update]: ...
    def __next__(self) -> Update: ...
    def get(self, timeout: Optional[float] = None) -> Optional[Update]:
        """The next update; None when none arrived within timeout seconds (None: wait without limit)."""
    def close(self) -> None: ...
    def __enter__(self) -> Updates: ...
    def __exit__(
        self, t: Optional[type[BaseException]], v: Optional[BaseException], tb: Optional[TracebackType]
    ) -> None: ...

class _Device:
    connected: bool
    link: str
    def close(self) -> None: ...
    def info(self) -> Info: ...
    def temperature(self) -> float:
        """°C"""
    def tag(self, text: Optional[str] = None) -> str:
        """Reads the device tag; with text, writes it first (at most 64 Latin-1 characters)."""
    def send(
        self, command: int, payload: bytes = b"", *, wait: bool = True, timeout: Optional[float] = 60.0
    ) -> Response: ...
    def process_events(self, seconds: float) -> None:
        """Lets automatic updates, frames and their callbacks arrive for the given time."""

class Gripper(_Device):
    @staticmethod
    def connect(url: str, timeout: float = 5.0) -> Gripper: ...
    def __enter__(self) -> Gripper: ...
    def __exit__(
        self, t: Optional[type[BaseException]], v: Optional[BaseException], tb: Optional[TracebackType]
    ) -> None: ...
    def home(
        self,
        direction: Literal["default", "inwards", "outwards"] = "default",
        *,
        wait: bool = True,
        timeout: Optional[float] = 60.0,
    ) -> Motion: ...
    def move(self, position: float, speed: float, *, wait: bool = True, timeout: Optional[float] = 60.0) -> Motion:
        """position mm, speed mm/s"""
    def grasp(self, width: float, speed: float, *, wait: bool = True, timeout: Optional[float] = 60.0) -> Motion:
        """nominal part width mm, speed mm/s"""
    def release(self, position: float, speed: float, *, wait: bool = True, timeout: Optional[float] = 60.0) -> Motion:
        """position mm, speed mm/s"""
    def stop(self) -> None: ...
    def fast_stop(self) -> None: ...
    def ack(self) -> None: ...
    def position(self) -> float:
        """mm"""
    def force(self) -> float:
        """N"""
    def grasping_state(self) -> GraspingState: ...
    def system_state(self) -> SystemState: ...
    def limits(self) -> Limits: ...
    def updates(
        self,
        kinds: Sequence[UpdateKind] = ("system_state", "grasping_state", "position", "force"),
        *,
        period: int = 50,
        on_change: bool = True,
        callback: Optional[Callable[[Update], None]] = None,
    ) -> Updates:
        """Automatic updates every period ms: iterate over them, or have callback called."""

class Matrix:
    width: int
    height: int
    cell_width: float
    cell_height: float
    sensor_width: float
    sensor_height: float
    transducer_type: str
    gain: float
    threshold: int

class Frame:
    timestamp: int
    width: int
    height: int
    cells: list[list[int]]
    """Rows of cells; a NumPy array (height x width) when NumPy is installed."""

class Frames:
    dropped: int
    def __iter__(self) -> Iterator[Frame]: ...
    def __next__(self) -> Frame: ...
    def get(self, timeout: Optional[float] = None) -> Optional[Frame]: ...
    def close(self) -> None: ...
    def __enter__(self) -> Frames: ...
    def __exit__(
        self, t: Optional[type[BaseException]], v: Optional[BaseException], tb: Optional[TracebackType]
    ) -> None: ...

class Sensor(_Device):
    @staticmethod
    def connect(url: str, timeout: float = 5.0) -> Sensor: ...
    def __enter__(self) -> Sensor: ...
    def __exit__(
        self, t: Optional[type[BaseException]], v: Optional[BaseException], tb: Optional[TracebackType]
    ) -> None: ...
    def matrix(self) -> Matrix: ...
    def frame(self, *, run_length: bool = False) -> Frame: ...
    def frames(self, *, period: int = 100, run_length: bool = False) -> Frames:
        """Starts the periodic acquisition; closing the iterator stops it."""
