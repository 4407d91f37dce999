#pragma once
// The desktop program's window half: creates the application object, hands the main thread to
// Qt's event loop, creates the server window (whose creation handler starts the service through
// `starter`), shows it and runs the event loop until the window is closed. Closing releases the
// window and with it the service; afterwards the main-thread hand-over is shut down, so a worker
// that still asks for the main thread gets an error instead of waiting for ever. Returns the
// program's exit status.
//
// Call it on the main thread, after DisplayAvailable() said yes, and only once.
#include "app/gui/server_window.h"

namespace kestova {

int RunDesktopWindow(int argc, char** argv, TfmServer::TServiceStarter starter);

}  // namespace kestova
