// WinMain: bring up the Notes runtime, run one mode, bring it down, return 0.
// With a command tail the program sends the job it names; without one it closes the
// product database's window in the running Notes client.
#include "app/winmain.h"

#include "app/send_command.h"
#include "notes/notes_client.h"
#include "resources/messages.h"
#include "window/database_window.h"

int g_argc;
char **g_argv;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int)
{
    g_instance = instance;

    if (InitNotesRuntime(g_argc, g_argv) != 0) {
        ShowMessage(MSG_NOTES_INIT_FAILED, MB_OK);
        return 0;
    }
    if (tail != NULL && tail[0] != '\0')
        RunSendCommand(tail);
    else
        CloseDatabaseWindow(false);
    EndNotesRuntime();
    return 0;
}
