#pragma once

// Runs the host's short demonstration without a display: logs on through the headless log-on
// dialog, asks for rights, lists users and groups, writes a note and shows the audit log.
// Returns the program's exit code.
int RunHeadlessDemo();
