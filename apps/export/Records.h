#pragma once
// `kubrix records ...`: the records a query gives, as the dataset shows them.

namespace kubrix::app {

//! Runs the command with the arguments after "records"; returns the exit code.
int RunRecords(int argc, char** argv);

}  // namespace kubrix::app
