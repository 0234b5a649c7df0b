// orvex: turns Tevro's LOG files in the current folder into a per-host report.
#include "OrvexRun.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return orvex::Run(arguments, stderr);
}
