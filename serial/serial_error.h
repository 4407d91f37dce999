#pragma once
// The serial port's exception and the texts of its errors.
#include <string>

#include "platform/exception.h"

namespace kestova {

class ESerialCommError : public Exception {
 public:
  using Exception::Exception;
};

// The system's text for an error code, without trailing blanks, control characters and full stops.
std::string SerialSysErrorText(int code);

// Messages of the component. Those with %d and %s are completed with the system error code and
// its text; the two opening messages get the device path first.
inline constexpr char sErrPortOpen[] = "Can't perform this operation while port is open";
inline constexpr char sErrDeviceNotFound[] = "Specified device not found (%s).";
inline constexpr char sErrOpenDevice[] = "Can't open specified device %s";
inline constexpr char sErrOpenDeviceDetail[] = " (Error %d, %s)";
inline constexpr char sErrWriteDcb[] = "Error writing dcb (%d), %s";
inline constexpr char sErrInitBuffers[] = "Error initializing buffers (%d), %s";
inline constexpr char sErrSetTimeouts[] = "Error setting timeouts (%d), %s";
inline constexpr char sErrSetEventMask[] = " Error setting EventMask (%d), %s";
inline constexpr char sErrClearBuffers[] = "Error clearing buffers (%d), %s";
inline constexpr char sErrStatistics[] = "Error retrieving statistics (%d), %s";
inline constexpr char sErrWrite[] = "Write error (%d), %s";
inline constexpr char sErrOutputFull[] = "Output buffer is full. Please check comm status.";
inline constexpr char sErrRead[] = "Read error (%d), %s";
inline constexpr char sErrCommFunction[] = "Error calling comm function (%d), %s";
inline constexpr char sErrDtrHandshake[] = "DTR line updates not allowed when flowcontrol is set to Handshake.";
inline constexpr char sErrRtsHandshake[] =
    "RTS line updates not allowed when flowcontrol is set to Handshake or Toggle.";
inline constexpr char sErrModemState[] = "Error reading modem state (%d), %s";
inline constexpr char sErrProperties[] = "Error reading port properties (%d), %s";
inline constexpr char sErrPortClosed[] = "Can't perform this operation while port is closed";
inline constexpr char sErrDefaultParams[] = "Error reading default port parameters.";

// Raises the error of an event the port could not make (TWakeEvent's failure): errno `code`.
[[noreturn]] void RaiseEventError(int code);

}  // namespace kestova
