// The entry point where the system hands a program its arguments as bytes,
// which the tool reads as UTF-8 (Linux).
#include "release/run_tool.h"

int main(int argc, char** argv) {
    return RunReleaseTool({argv + 1, argv + argc});
}
