// ORVEXVario: the ZEVRA variometer program. Without an argument it opens the gauge;
// --version and --help answer on the console.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/startup.h"
#include "platform/system.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (std::optional<CommandLineAnswer> answer = AnswerCommandLine(arguments)) {
        platform::UseStartingConsole();
        platform::ExitProcess(WriteCommandLineAnswer(*answer, stdout, stderr));
    }
    int status = RunWithTopLevelReport(StartProgram);
    platform::ExitProcess(status);
}
