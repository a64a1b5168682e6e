// dummy_cmd.exe: named as the command interpreter of the launcher's processes, so that nothing
// the browser runtime might start through ComSpec opens a console. It does nothing.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return 0; }
