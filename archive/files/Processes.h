#pragma once

#include <string>
#include <vector>

// Questions about processes, for what a run leaves behind for a later one to clear away.
namespace archive::processes {

long long currentId();
// Whether process id is alive and runs the program this process runs (its file name compared, so
// a run started before an upgrade replaced the program still counts): false when it is gone or
// another program now has its id.
bool runsThisProgram(long long id);

// The program's arguments as UTF-8 (host paths and names are UTF-8 throughout), whatever code
// page the system would hand them over in.
std::vector<std::string> utf8Arguments(int argc, char** argv);
// Standard output and error take bytes as they are, line ends untranslated.
void useBinaryStandardStreams();

} // namespace archive::processes
