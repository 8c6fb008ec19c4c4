#pragma once
// The help texts of the module's classes, methods and properties (help(zel.Gripper), ...): units,
// return values and the exceptions raised. Kept apart from the bindings so that both stay readable.

namespace zelpy::docs {

// Exceptions every call that talks to the device may raise.
#define ZEL_DOC_RAISES                                                                                       \
    "Raises LinkLost when the link is closed or lost, Timeout when the device does not answer in time, "     \
    "RuntimeError when called from another thread than the one that connected."

inline constexpr char Info[] = "The device's system information, as info() reads it.";
inline constexpr char InfoModel[] = "Model name, for example 'ZEL 11'.";
inline constexpr char InfoDeviceType[] = "Device type code (1 a gripper, 4 the matrix sensor).";
inline constexpr char InfoSerial[] = "Serial number.";
inline constexpr char InfoHardware[] = "Hardware revision.";
inline constexpr char InfoFirmware[] =
    "Firmware version as 'MAJOR.MINOR.PATCH', with '-RCn' for a release candidate.";

inline constexpr char Limits[] = "The gripper's system limits, read when connecting.";
inline constexpr char LimitsStroke[] = "Finger travel in mm: positions and widths run from 0 to it.";
inline constexpr char LimitsMinSpeed[] = "Slowest finger speed in mm/s.";
inline constexpr char LimitsMaxSpeed[] = "Fastest finger speed in mm/s.";
inline constexpr char LimitsMinAcc[] = "Lowest acceleration in mm/s².";
inline constexpr char LimitsMaxAcc[] = "Highest acceleration in mm/s².";
inline constexpr char LimitsMinForce[] = "Lowest grasping force limit in N.";
inline constexpr char LimitsNominalForce[] = "Nominal grasping force in N.";
inline constexpr char LimitsOverdriveForce[] = "Highest grasping force limit (overdrive) in N.";

inline constexpr char Response[] = "The device's answer to send().";
inline constexpr char ResponseCommand[] = "Command identifier the answer belongs to (0 to 255).";
inline constexpr char ResponseStatus[] =
    "Status code of the answer (0 is success; the final one when waited for).";
inline constexpr char ResponseStatusName[] =
    "Name of the status code, for example 'E_SUCCESS' or 'E_RANGE_ERROR'.";
inline constexpr char ResponseData[] =
    "The answer's data after the status, as bytes (empty when it had none).";

inline constexpr char Update[] = "One automatic update of the gripper, as Updates delivers it.";
inline constexpr char UpdateKind[] =
    "What it reports: 'system_state', 'grasping_state', 'position' or 'force'.";
inline constexpr char UpdateValue[] =
    "The value: position in mm or force in N (float), GraspingState, or SystemState.";
inline constexpr char UpdateTime[] =
    "When it arrived, in seconds on the clock of time.monotonic(): time.monotonic() - time is its age.";

inline constexpr char Motion[] =
    "A motion (home, move, grasp, release) and its final result; returned at once with wait=False.";
inline constexpr char MotionCommand[] = "The command's name: 'HOMING', 'MOVE', 'GRASP' or 'RELEASE'.";
inline constexpr char MotionDone[] = "True once the final result has arrived.";
inline constexpr char MotionStatus[] = "The final status code (0 is success); None while the motion runs.";
inline constexpr char MotionWait[] =
    "Waits up to timeout seconds (None: without limit) for the final result and returns None. Raises "
    "CommandFailed when the final status is a failure, Timeout when the time is up (the motion goes on), "
    "LinkLost when the link goes.";

inline constexpr char Updates[] =
    "A subscription to automatic updates (Gripper.updates()). Iterate over it, call get(), or let a callback "
    "take them; the updates arrive while the connecting thread is inside a call of the gripper. A queue "
    "that falls behind drops its oldest updates (see dropped). Use it in a with block or call close().";
inline constexpr char UpdatesNext[] = "Waits for the next Update without limit; StopIteration once closed.";
inline constexpr char UpdatesGet[] =
    "Returns the next Update, waiting up to timeout seconds for one (None: without limit); returns None when "
    "none arrived in that time. Raises TypeError when the updates go to a callback.";
inline constexpr char UpdatesClose[] = "Switches the automatic updates off that no other subscription needs.";
inline constexpr char UpdatesKinds[] = "The kinds of update this subscription receives.";
inline constexpr char UpdatesClosed[] = "True once closed.";
inline constexpr char UpdatesPending[] = "Updates received and not yet taken.";
inline constexpr char UpdatesReceived[] = "Updates received since the subscription began.";
inline constexpr char UpdatesDropped[] = "Oldest updates dropped because the queue was full.";
inline constexpr char UpdatesMaxBacklog[] = "Largest number of updates that waited in the queue at once.";

inline constexpr char Gripper[] =
    "A ZEL gripper on a link: Gripper.connect('tcp://127.0.0.1:1000'). Positions and widths in mm, speeds "
    "in mm/s, forces in N. Values outside the system limits raise ValueError before anything is sent; a "
    "refusal of the device raises CommandFailed with its status.";
inline constexpr char Sensor[] =
    "The TAQ matrix sensor on a link: Sensor.connect('tcp://127.0.0.1:1000'). Reads its matrix description, "
    "single frames and periodic frames.";

inline constexpr char Connect[] =
    "Opens the link given as a URL (tcp://HOST[:PORT], udp://HOST[:PORT][?listen=PORT], "
    "serial://PATH[?baud=N], can://INTERFACE[?id=N&bitrate=CODE&backend=NAME]), checks the device and "
    "returns it connected. timeout is in seconds. Raises ConnectFailed when the link cannot be opened or "
    "the device is not accepted (a malformed URL included).";
inline constexpr char Close[] =
    "Closes the link; the device cannot be used afterwards. Closing twice does nothing.";
inline constexpr char Connected[] = "True while the link is open.";
inline constexpr char Link[] = "The link as text, for example 'TCP 127.0.0.1:1000'.";
inline constexpr char InfoMethod[] = "Reads the system information and returns an Info. " ZEL_DOC_RAISES;
inline constexpr char Temperature[] =
    "Reads the device's temperature and returns it in °C (float). " ZEL_DOC_RAISES;
inline constexpr char Tag[] =
    "Reads the device tag and returns it (str); with text, writes it first. The tag holds at most 64 "
    "Latin-1 characters (ValueError otherwise). " ZEL_DOC_RAISES;
inline constexpr char Send[] =
    "Sends one command (0 to 255) with a raw payload and returns the Response. With wait, an answer "
    "'pending' is followed to its final result for up to timeout seconds (None: without limit). A failure "
    "status is returned in the Response, not raised. ValueError for a command outside 0 to "
    "255. " ZEL_DOC_RAISES;
inline constexpr char ProcessEvents[] =
    "Lets automatic updates, frames and their callbacks arrive for the given number of seconds.";

inline constexpr char Home[] =
    "Homing in direction 'default', 'inwards' or 'outwards'; returns the Motion. With wait (the default) it "
    "returns after the final result, waiting up to timeout seconds. Raises CommandFailed for a failure "
    "status (at once or as the final result), ValueError for another direction. " ZEL_DOC_RAISES;
inline constexpr char Move[] =
    "Moves the fingers to position (mm) at speed (mm/s) and returns the Motion; with wait (the default) "
    "after the final result, waiting up to timeout seconds. Raises ValueError when a value lies outside "
    "the system limits (nothing is sent), CommandFailed for a failure status (at once or as the final "
    "result). " ZEL_DOC_RAISES;
inline constexpr char Grasp[] =
    "Grasps a part of the given width (mm) at speed (mm/s) and returns the Motion; with wait (the default) "
    "after the final result, waiting up to timeout seconds. Raises ValueError when a value lies outside the "
    "system limits (nothing is sent), CommandFailed for a failure status (no part found: 'E_CMD_FAILED', "
    "grasping_state() then reads NO_PART). " ZEL_DOC_RAISES;
inline constexpr char ReleaseDoc[] =
    "Opens the fingers to position (mm) at speed (mm/s), letting the part go, and returns the Motion; with "
    "wait (the default) after the final result, waiting up to timeout seconds. Raises ValueError when a "
    "value lies outside the system limits (nothing is sent), CommandFailed for a failure "
    "status. " ZEL_DOC_RAISES;
inline constexpr char Stop[] =
    "Stops a motion at once; returns None. Raises CommandFailed for a failure status. " ZEL_DOC_RAISES;
inline constexpr char FastStop[] =
    "Fast stop: the fingers stop and stay blocked until ack(); returns None. " ZEL_DOC_RAISES;
inline constexpr char Ack[] =
    "Acknowledges a fast stop so that the gripper moves again; returns None. Raises CommandFailed for a "
    "failure status. " ZEL_DOC_RAISES;
inline constexpr char Position[] = "Reads the finger position and returns it in mm (float). " ZEL_DOC_RAISES;
inline constexpr char Force[] = "Reads the grasping force and returns it in N (float). " ZEL_DOC_RAISES;
inline constexpr char GraspingState[] = "grasping_state(self) -> zel.GraspingState\n\n"
                                        "Reads the grasping state and returns it as a zel.GraspingState "
                                        "(IDLE, HOLDING, NO_PART, ...). " ZEL_DOC_RAISES;
inline constexpr char SystemState[] = "system_state(self) -> zel.SystemState\n\n"
                                      "Reads the system state and returns its flags as a zel.SystemState "
                                      "(REFERENCED, MOVING, FAST_STOP, ...). " ZEL_DOC_RAISES;
inline constexpr char LimitsMethod[] =
    "The system limits read when connecting, as Limits; asks the device nothing.";
inline constexpr char UpdatesMethod[] =
    "Subscribes to automatic updates of the given kinds ('system_state', 'grasping_state', 'position', "
    "'force'), sent by the device every period ms (1 to 65535) or, with on_change, only when the value "
    "changes. Returns Updates; with callback, each Update goes to callback(update) instead. ValueError for "
    "an unknown kind or period. " ZEL_DOC_RAISES;

inline constexpr char Matrix[] = "The sensor's matrix description, as Sensor.matrix() returns it.";
inline constexpr char MatrixWidth[] = "Cells across.";
inline constexpr char MatrixHeight[] = "Cells down.";
inline constexpr char MatrixCellWidth[] = "Width of one cell in mm.";
inline constexpr char MatrixCellHeight[] = "Height of one cell in mm.";
inline constexpr char MatrixSensorWidth[] = "Width of the sensing area in mm.";
inline constexpr char MatrixSensorHeight[] = "Height of the sensing area in mm.";
inline constexpr char MatrixTransducer[] = "Transducer type code.";
inline constexpr char MatrixGain[] = "Gain in percent.";
inline constexpr char MatrixThreshold[] = "Threshold in counts: cells below it read 0.";

inline constexpr char Frame[] = "One frame of the matrix sensor.";
inline constexpr char FrameTimestamp[] = "The sensor's time stamp of the frame in ms.";
inline constexpr char FrameWidth[] = "Cells across.";
inline constexpr char FrameHeight[] = "Cells down.";
inline constexpr char FrameCells[] =
    "The cells in counts, height rows of width values: a NumPy array when NumPy is installed, else lists.";

inline constexpr char Frames[] =
    "Periodic frames of the sensor (Sensor.frames()). Iterate over it or call get(); close() or the end of "
    "a with block stops the acquisition.";
inline constexpr char FramesNext[] = "Waits for the next Frame without limit; StopIteration once closed.";
inline constexpr char FramesGet[] =
    "Returns the next Frame, waiting up to timeout seconds for one (None: without limit); returns None when "
    "none arrived in that time.";
inline constexpr char FramesClose[] = "Stops the periodic acquisition.";
inline constexpr char FramesDropped[] = "Oldest frames dropped because the queue was full.";

inline constexpr char MatrixMethod[] =
    "Returns the Matrix description read when connecting; asks the device nothing.";
inline constexpr char FrameMethod[] = "Reads one frame (run-length coded on the wire when run_length) and "
                                      "returns it as a Frame. " ZEL_DOC_RAISES;
inline constexpr char FramesMethod[] =
    "Starts periodic frames every period ms (1 to 65535) and returns Frames. ValueError for another "
    "period. " ZEL_DOC_RAISES;

#undef ZEL_DOC_RAISES

} // namespace zelpy::docs
