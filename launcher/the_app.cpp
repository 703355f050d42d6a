// The process's one application object. Compiled into the launcher executable
// only; tests make application objects of their own.
#include "launcher/installer_launcher.h"

CInstallerLauncher theApp;
