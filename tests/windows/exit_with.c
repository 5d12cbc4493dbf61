/* The launch tests' program: the test installer (tests/shared/installer.c)
   that writes the command line it received to its own path + ".cmdline"
   (UTF-16) and ends with the number that follows the last space of its
   file name ("exit 3010.exe" ends with 3010). */
#define INSTALLER_RECORD_BESIDE_SELF
#include "../shared/installer.c"
