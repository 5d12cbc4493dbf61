// The Linux entry point: the program's own wWinMain, with the same result.
#include "platform/win_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int);

int main() {
    return wWinMain(nullptr, nullptr, nullptr, 0);
}
