// kubrix-export: the pivot written as CSV, text or HTML, with the options of `kubrix export`,
// on a machine without a display or Qt.

#include <cstring>

#include "Export.h"

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0)) return kubrix::app::RunExport(0, nullptr) == 2 ? 0 : 1;
    return kubrix::app::RunExport(argc - 1, argv + 1);
}
