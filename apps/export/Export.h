#pragma once
// `kubrix export ...`: the control's work without a display.

namespace kubrix::app {

//! Runs the export with the arguments after "export"; returns the exit code.
int RunExport(int argc, char** argv);

}  // namespace kubrix::app
