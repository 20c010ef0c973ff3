#include "tests/support/child_process.h"

#include "tests/support/test_env.h"

namespace testsupport {

ToolRun runTool(const std::vector<std::string>& argv, double timeoutSeconds) {
    static int runs = 0;
    std::string stem = "tool-run-" + std::to_string(++runs);
    ToolRun run;
    {
        ChildProcess tool(argv, stem + ".out", stem + ".err");
        run.exitCode = tool.wait(timeoutSeconds);
    }
    run.out = readFile(stem + ".out");
    run.err = readFile(stem + ".err");
    return run;
}

}  // namespace testsupport
