// kubrix-export: the pivot written as CSV, text or HTML, with the options of `kubrix export`,
// on a machine without a display or Qt.

#include "Export.h"

int main(int argc, char** argv) {
    return kubrix::app::RunExport(argc - 1, argv + 1, "kubrix-export");
}
