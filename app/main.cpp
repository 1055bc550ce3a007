// ORVEXVario: the ZEVRA variometer program. Takes no arguments.
#include "app/startup.h"
#include "platform/system.h"

int main() {
    int status = RunWithTopLevelReport(StartProgram);
    platform::ExitProcess(status);
}
