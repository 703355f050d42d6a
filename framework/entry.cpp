// The process entry point hands over to the application object at once.
#include "framework/win_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return AfxRunApplication(AfxGetApp(), GetCommandLineW());
}
