// The process entry point restricts the DLL search path, then hands over to
// the application object.
#include "framework/dll_search.h"
#include "framework/win_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    RestrictDllSearchPath();
    return AfxRunApplication(AfxGetApp(), GetCommandLineW());
}
