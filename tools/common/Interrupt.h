// Ctrl+C (SIGINT, SIGTERM; on Windows the console's Ctrl+C, Ctrl+Break and
// close) asks a tool to stop: its jobs see it between their steps, remove
// their temporary files and end with status 130.
#pragma once

// Installs the handler; once, before the jobs start.
void CatchInterrupts();
// True once an interrupt arrived.
bool Interrupted();
