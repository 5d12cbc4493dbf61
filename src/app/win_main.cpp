// The program's entry point: it runs the bootstrap sequence once with the
// settings it was built with. It reads no command line.
#include "app/bootstrap_config.h"
#include "app/bootstrap_sequence.h"
#include "platform/win_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return RunBootstrapSequence(MakeBootstrapConfig());
}
