#pragma once

namespace talmor {

// Whether the host application is running: on Windows, whether a top-level window of the host's
// main window class "QuorvaneWClass" exists; on Linux, whether some process (this one included)
// holds the exclusive lock on "QuorvaneWClass.lock" in the host's share directory (see
// include/qvshare_directory.h). Asked without waiting and without changing anything: a missing
// or untrustworthy share directory or lock file means no host.
bool IsHostWindowPresent();

}  // namespace talmor
