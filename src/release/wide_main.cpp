// The entry point where the system hands a program its arguments as wide
// text (Windows, linked with -municode): each is turned into UTF-8 without
// loss, so that a path in any script reaches CreateFileW as it was typed.
#include <string>
#include <vector>

#include "release/run_tool.h"
#include "release/tool_output.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> words(argc > 1 ? static_cast<std::size_t>(argc - 1) : 0);
    for (std::size_t index = 0; index < words.size(); ++index) {
        if (!ToUtf8Strictly(argv[index + 1], words[index])) {
            return Fail(kToolUsageError, "argument " + std::to_string(index + 1) + " is not well-formed Unicode text");
        }
    }
    return RunReleaseTool(words);
}
