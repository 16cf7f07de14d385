// Send mode from end to end.
#pragma once

// Loads the settings, reads the job named by the command tail, writes the memo,
// releases everything (the job file is deleted), and hands over to the Notes client
// when a memo was made.  Each refusal is shown as its message box.
void RunSendCommand(const char *tail);
