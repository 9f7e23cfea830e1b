#pragma once

// Questions about processes, for what a run leaves behind for a later one to clear away.
namespace archive::processes {

long long currentId();
// Whether process id is alive and runs the program this process runs (its file name compared, so
// a run started before an upgrade replaced the program still counts): false when it is gone or
// another program now has its id.
bool runsThisProgram(long long id);

} // namespace archive::processes
