#pragma once
// `kubrix export ...`: the control's work without a display.

namespace kubrix::app {

//! Runs the export with the arguments after "export"; returns the exit code. program names
//! the command in messages.
int RunExport(int argc, char** argv, const char* program = "kubrix export");

}  // namespace kubrix::app
